#pragma once

#include <QByteArray>

#include <optional>

namespace palvuro {

// A client-to-client request hidden in a PRIVMSG or NOTICE text: "\x01COMMAND argument\x01".
struct IrcCtcp {
    QByteArray command; // upper case
    QByteArray argument;

    // Nothing when TEXT is ordinary chat; the closing \x01 is optional, as many clients omit it.
    static std::optional<IrcCtcp> parse(const QByteArray& text);
};

} // namespace palvuro
