#pragma once

#include <QByteArray>
#include <QString>

namespace palvuro {

// A real session on a loopback connection, fed arbitrary server lines. Invariants: it neither
// crashes nor hangs; every line it writes is one line without NUL, CR or LF inside; it writes
// only registration, PING answers, nick and channel upkeep, and never a PRIVMSG or NOTICE it
// was not asked to say; and what it is then asked to say reaches only the channel.
class IrcSessionFuzz {
public:
    static bool run(const QByteArray& input, QString* failure);
};

} // namespace palvuro
