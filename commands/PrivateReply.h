#pragma once

#include <QString>

namespace palvuro {

// A line the chat client delivers to one nick alone, its text in bold.
class PrivateReply {
public:
    // "/msg " + nick + " <b>" + text + "</b>"
    static QString to(const QString& nick, const QString& text);
};

} // namespace palvuro
