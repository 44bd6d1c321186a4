#pragma once

#include "irc/IrcMessage.h"

#include <QByteArray>
#include <QSet>

#include <deque>
#include <optional>

namespace palvuro {

// The bot's lines the server has lately been given, so that a refusal naming a target (a
// moderated channel, a nick gone, too many new targets) can say which line went nowhere. A
// server answers our lines in order, and promptly: the oldest recent line to the named target
// is the refused one, and a line older than a few seconds was taken.
class IrcSentLines {
public:
    struct Line {
        QByteArray target;
        QByteArray text;
    };
    // How long a line may still be refused.
    static constexpr int RefusalWindowMs = 10000;
    // How long private texts to new nicks wait after a target-change refusal that names no time.
    static constexpr int DefaultHoldMs = 60000;

    // WIRELINE is a PRIVMSG just written.
    void sent(const QByteArray& wireLine, qint64 nowMs);
    // The line REPLY refuses, if it is an error naming the target of one of our recent lines.
    std::optional<Line> refusedBy(const IrcMessage& reply, qint64 nowMs);
    // False while a target-change refusal holds texts to nicks we have not written to yet.
    bool mayWriteTo(const QByteArray& nick, qint64 nowMs) const;
    // Forgets the lines to TARGET (all when TARGET is null): they can no longer be refused.
    void forget(const QByteArray& target = {});

private:
    struct Sent {
        Line line;
        qint64 atMs;
    };
    std::deque<Sent> recent_;
    QSet<QByteArray> writtenTo_;
    QByteArray ignoredBy_; // the nick of the last 716, whose 717 may follow
    qint64 holdUntilMs_ = -1;
};

} // namespace palvuro
