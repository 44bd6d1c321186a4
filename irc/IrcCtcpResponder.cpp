#include "irc/IrcCtcpResponder.h"

namespace palvuro {
namespace {

// A PING's token comes back as it was, within reason: no longer than a timestamp needs, and
// nothing that would end the CTCP or the line.
constexpr qsizetype kMaxPingToken = 64;

QByteArray pingToken(const QByteArray& argument) {
    QByteArray token;
    for (const char c : argument.left(kMaxPingToken))
        if (static_cast<unsigned char>(c) >= 0x20)
            token += c;
    return token;
}

} // namespace

IrcCtcpResponder::IrcCtcpResponder(QByteArray version) : version_(std::move(version)) {}

std::optional<QByteArray> IrcCtcpResponder::answer(const IrcCtcp& request, qint64 nowMs,
                                                   const QDateTime& now) {
    QByteArray body;
    if (request.command == "VERSION")
        body = version_;
    else if (request.command == "PING")
        body = pingToken(request.argument);
    else if (request.command == "TIME")
        body = now.toString(Qt::RFC2822Date).toUtf8();
    else if (request.command == "CLIENTINFO")
        body = QByteArrayLiteral("ACTION CLIENTINFO PING TIME VERSION");
    else
        return std::nullopt;
    if (answered_ && nowMs - answeredAtMs_ < MinSpacingMs)
        return std::nullopt;
    answered_ = true;
    answeredAtMs_ = nowMs;
    const QByteArray reply = body.isEmpty() ? request.command : QByteArray(request.command + ' ' + body);
    return QByteArray('\x01' + reply + '\x01');
}

} // namespace palvuro
