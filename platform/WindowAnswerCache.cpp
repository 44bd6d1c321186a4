#include "platform/WindowAnswerCache.h"

#include "platform/BusFrame.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace palvuro {

namespace {

int connectTo(const QString& socketPath) {
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const QByteArray& frame) {
    qsizetype sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd, frame.constData() + sent, size_t(frame.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return true;
}

// The first frame's payload, waiting at most until DEADLINE; bytes after it stay in BUFFER.
bool readFrame(int fd, QByteArray& buffer, QByteArray& payload, const QDeadlineTimer& deadline) {
    for (;;) {
        const BusFrame::Take take = BusFrame::takeFrame(buffer, payload);
        if (take == BusFrame::Take::Frame)
            return true;
        if (take == BusFrame::Take::TooLong)
            return false;
        pollfd ready{fd, POLLIN, 0};
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0)
            return false;
        const int polled = ::poll(&ready, 1, int(remaining));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        char chunk[256];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0)
            buffer.append(chunk, qsizetype(n));
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
    }
}

} // namespace

bool WindowAnswerCache::keeps(std::uint32_t msg) {
    return msg == wm::GetLineCount || msg == wm::LineIndex || msg == wm::LineLength;
}

std::unique_ptr<WindowAnswerCache> WindowAnswerCache::open(const QString& socketPath, Hwnd hwnd,
                                                           int timeoutMs) {
    const int fd = connectTo(socketPath);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<WindowAnswerCache> cache(new WindowAnswerCache(fd));
    BusFrame::Request watch;
    watch.op = BusFrame::Op::Watch;
    watch.handle = hwnd;
    QByteArray buffer, payload;
    if (!sendAll(fd, BusFrame::encode(watch)) || !readFrame(fd, buffer, payload, QDeadlineTimer(timeoutMs)))
        return nullptr;
    const std::optional<BusFrame::Reply> reply = BusFrame::decodeReply(payload);
    if (!reply || reply->result != 1)
        return nullptr;
    return cache;
}

WindowAnswerCache::WindowAnswerCache(int descriptor) : descriptor_(descriptor) {
    aged_.setSingleShot(true);
    aged_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&aged_, &QTimer::timeout, [this] { wakeNow(); });
}

WindowAnswerCache::~WindowAnswerCache() {
    noticed_.reset();
    ::close(descriptor_);
}

void WindowAnswerCache::wakeOnChange(std::function<void()> wake) {
    wake_ = std::move(wake);
    if (!noticed_) {
        noticed_ = std::make_unique<QSocketNotifier>(qintptr(descriptor_), QSocketNotifier::Read);
        QObject::connect(noticed_.get(), &QSocketNotifier::activated, [this] { wakeNow(); });
    }
    noticed_->setEnabled(true);
    // refresh() asks again once the age is past MaxAgeMs, not at it.
    if (oldest_.isValid())
        aged_.start(int(std::max<qint64>(0, MaxAgeMs + 1 - oldest_.elapsed())));
}

void WindowAnswerCache::wakeNow() {
    // The notice stays unread for refresh(); the notifier would report it again and again.
    noticed_->setEnabled(false);
    aged_.stop();
    if (const std::function<void()> wake = std::exchange(wake_, {}))
        wake();
}

bool WindowAnswerCache::refresh() {
    bool changed = false;
    for (;;) {
        char chunk[4096];
        const ssize_t n = ::recv(descriptor_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            changed = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        forget();
        return false;
    }
    if (changed || (oldest_.isValid() && oldest_.hasExpired(MaxAgeMs)))
        forget();
    return true;
}

std::optional<LResult> WindowAnswerCache::known(std::uint32_t msg, WParam wParam, LParam lParam) const {
    const auto found = answers_.find({msg, wParam, lParam});
    if (found == answers_.end())
        return std::nullopt;
    return found->second;
}

void WindowAnswerCache::remember(std::uint32_t msg, WParam wParam, LParam lParam, LResult result) {
    if (answers_.size() >= MaxAnswers)
        forget();
    if (answers_.empty())
        oldest_.start();
    answers_[{msg, wParam, lParam}] = result;
}

void WindowAnswerCache::forget() {
    answers_.clear();
    oldest_.invalidate();
    // Whoever counted on the answers hears of it, even when another question took the notice
    // before the event loop saw it.
    if (wake_)
        wakeNow();
}

} // namespace palvuro
