#pragma once

#include "host/HostStatus.h"

#include <QString>

namespace palvuro {

// Follows the two children's standard error and keeps the host's status: the client's status
// lines ("palvuro-chat: status: Joined #trivia as BOT") and failures, the bot's lines about
// its link to the client and its games. A line that changes the status gives the host's own
// log line for it; any other line is left for the journal as it is.
class StatusTracker {
public:
    HostStatus& status() { return status_; }
    const HostStatus& status() const { return status_; }

    // The text to log when LINE changed the status in a way worth a log line; null otherwise
    // (a counted question changes the status without one).
    QString clientLine(const QString& line);
    QString botLine(const QString& line);
    // A child's state outside its own lines: it ended, or is starting again.
    QString clientGone(const QString& reason);
    QString botGone(const QString& reason);

private:
    QString setState(const QString& state, const QString& log);

    HostStatus status_;
};

} // namespace palvuro
