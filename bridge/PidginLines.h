#pragma once

#include "a11y/TextRun.h"
#include "bridge/ConversationLine.h"

#include <QList>

namespace palvuro {

// Pidgin's conversation text taken apart. Pidgin writes every line as runs of its own making:
// a small time stamp "(12:20:27) ", then the sender's coloured "NICK: " (or a bold "***NICK "
// for an action, or bold text alone for its own notices), then the message. The parts are told
// by those runs, never by the characters: a nick may hold ':' or blanks, and a chatter may type
// anything that looks like a time stamp, a nick or a notice; inside a message it is only text.
// A line that does not start with Pidgin's time stamp run continues the line before it (a
// message of several lines).
class PidginLines {
public:
    static QList<ConversationLine> parse(const QList<TextRun>& runs);
    // A run Pidgin wrote as a line's time stamp.
    static bool isTimeStamp(const TextRun& run);
};

} // namespace palvuro
