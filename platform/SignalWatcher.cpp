#include "platform/SignalWatcher.h"

#include "platform/PlatformLog.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace palvuro {

namespace {

int pipeEnds[2] = {-1, -1};

extern "C" void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a wake-up; losing this byte loses nothing the reader needs.
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signals, QObject* parent)
    : QObject(parent), watched_(signals) {
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcPlatform) << "no pipe for signals:" << strerror(errno) << "- signals keep their defaults";
        return;
    }
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : watched_)
        sigaction(number, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    if (!notifier_)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : watched_)
        sigaction(number, &action, nullptr);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalWatcher::drain() {
    unsigned char byte = 0;
    while (read(pipeEnds[0], &byte, 1) == 1)
        Q_EMIT received(byte);
}

} // namespace palvuro
