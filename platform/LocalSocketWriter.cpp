#include "platform/LocalSocketWriter.h"

#include <QLocalSocket>

#include <cerrno>
#include <sys/socket.h>

namespace palvuro {

namespace {

// How many leading bytes the kernel took without blocking; errors take none, so that
// QLocalSocket meets them itself and reports them the usual way.
qsizetype sendWithoutBlocking(qintptr descriptor, const QByteArray& frame) {
    if (descriptor < 0)
        return 0;
    qsizetype sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(static_cast<int>(descriptor), frame.constData() + sent,
                                 static_cast<size_t>(frame.size() - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return sent;
}

} // namespace

void LocalSocketWriter::write(QLocalSocket& socket, const QByteArray& frame) {
    const qsizetype sent =
        socket.bytesToWrite() == 0 ? sendWithoutBlocking(socket.socketDescriptor(), frame) : 0;
    if (sent == frame.size())
        return;
    socket.write(frame.constData() + sent, frame.size() - sent);
    socket.flush();
}

} // namespace palvuro
