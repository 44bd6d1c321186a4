#include "irc/IrcCtcp.h"

namespace palvuro {

std::optional<IrcCtcp> IrcCtcp::parse(const QByteArray& text) {
    if (!text.startsWith('\x01'))
        return std::nullopt;
    QByteArray body = text.mid(1);
    if (body.endsWith('\x01'))
        body.chop(1);
    const qsizetype blank = body.indexOf(' ');
    IrcCtcp ctcp;
    ctcp.command = (blank < 0 ? body : body.left(blank)).toUpper();
    ctcp.argument = blank < 0 ? QByteArray() : body.mid(blank + 1);
    return ctcp;
}

} // namespace palvuro
