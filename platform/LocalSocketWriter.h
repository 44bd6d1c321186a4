#pragma once

#include <QByteArray>

class QLocalSocket;

namespace palvuro {

// Writes a frame to a local socket without waking the event loop.
//
// WORKAROUND: QLocalSocket queues every write in its own buffer (QIODevice::Unbuffered is not
// honoured for local sockets) and switches its write notifier on and off around each flush. With
// the glib event dispatcher that is two wake-ups per frame, and the reader tick sends a frame a
// hundred times a second. The bytes go to the descriptor directly; only what the kernel does not
// take at once is left to QLocalSocket, behind which later frames queue in order.
class LocalSocketWriter {
public:
    static void write(QLocalSocket& socket, const QByteArray& frame);
};

} // namespace palvuro
