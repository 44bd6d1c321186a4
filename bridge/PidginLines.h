#pragma once

#include "a11y/TextRun.h"
#include "bridge/ConversationLine.h"

#include <QList>

#include <functional>

namespace palvuro {

// Pidgin's conversation text taken apart. Pidgin writes every line as runs of its own making:
// a small time stamp "(12:20:27) ", then the sender's coloured "NICK: " (or a bold "***NICK "
// for an action, or bold text alone for its own notices, one of which says that its account
// disconnected and it is out of the room), then the message. The parts are told
// by those runs, never by the characters: a nick may hold ':' or blanks, and a chatter may type
// anything that looks like a time stamp, a nick or a notice; inside a message it is only text.
// Rich text (XMPP's XHTML-IM) can give a line of a message Pidgin's size, colours and bold, but
// not the normal weight Pidgin sets on its own time stamps, so a stamp is told by that weight.
// A line that does not start with Pidgin's time stamp run continues the line before it (a
// message of several lines).
//
// A group chat replays its recent messages to whoever joins it, and Pidgin shows them, with
// the times they were said, below the lines it already shows when it joins again after a lost
// connection. A said line stamped earlier than a line read before it in the same conversation
// is such a replay: it comes as text that was said, never as a line said now. Only the last
// hours count: a clock passing midnight or noon goes "back" by more, and after a quiet day the
// newest stamp read says nothing about the next.
class PidginLines {
public:
    static constexpr qint64 ReplayWindowMs = 6 * 3600 * 1000;
    using Clock = std::function<qint64()>; // milliseconds, steady

    explicit PidginLines(Clock clock = {});

    QList<ConversationLine> parse(const QList<TextRun>& runs);
    // A run Pidgin wrote as a line's time stamp.
    static bool isTimeStamp(const TextRun& run);
    // The second of the day a stamp names, or -1.
    static int secondOfDay(const QString& stamp);

private:
    bool isReplay(const TextRun& stamp);

    Clock clock_;
    int latest_ = -1;     // the second of the day of the newest stamp read
    qint64 latestAt_ = 0; // when it was read, on clock_
};

} // namespace palvuro
