#pragma once

#include <QString>

namespace palvuro {

// One line of a client's conversation, taken apart by the client's profile.
struct ConversationLine {
    enum class Kind {
        Said,   // NICK said TEXT (our own lines too)
        Action, // NICK did TEXT (/me)
        Notice, // the client's own line: someone came, went, was renamed, a mode changed
        Left,   // the client's own line that it is out of the room until its account is back
        Other,  // text the profile could not place: shown, never taken for a said line
    };
    Kind kind = Kind::Other;
    QString nick;
    QString text;

    bool operator==(const ConversationLine& other) const {
        return kind == other.kind && nick == other.nick && text == other.text;
    }
};

} // namespace palvuro
