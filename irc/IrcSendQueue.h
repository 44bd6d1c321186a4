#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <deque>

namespace palvuro {

// Lines waiting for the socket, let go at a pace no server's flood protection objects to: a
// burst, then one line per interval, for the connection as a whole. Targets (the channel, each
// nick) take turns, so a long list to one player never holds up the game in the channel; one
// target's lines keep their order. Time is passed in, so the pacing runs on any clock; its
// state lives as long as the queue, across however many texts are pushed.
class IrcSendQueue {
public:
    struct Pacing {
        // ircd-hybrid reads five lines of a client at once, then one a second; what it has not
        // read yet waits in a 2560-byte buffer that, once full, costs the connection.
        int burst = 5;
        int intervalMs = 1000;
    };
    struct Line {
        QByteArray target;
        QByteArray bytes; // without CR LF
        qint64 queuedAtMs = 0;
    };

    explicit IrcSendQueue(Pacing pacing);

    void push(const QByteArray& target, const QByteArray& bytes, qint64 nowMs);
    // The lines that may go at NOW, in the order they should be written.
    QList<QByteArray> take(qint64 nowMs);
    // Records a line that went out without waiting (an answer to the server's PING, say).
    void spend(qint64 nowMs);
    // How long until take() has something, or -1 when nothing waits.
    qint64 msUntilNext(qint64 nowMs) const;
    // Drops the lines that have waited longer than MAXAGEMS and hands them back: past some point a
    // line (a question, a verdict) misleads more than it helps.
    QList<Line> takeStale(qint64 nowMs, qint64 maxAgeMs);
    // Drops what waits and hands it back.
    QList<Line> clear();
    bool isEmpty() const { return pending_.empty(); }
    qsizetype size() const { return static_cast<qsizetype>(pending_.size()); }

private:
    std::deque<Line>::iterator nextTurn();

    Pacing pacing_;
    std::deque<Line> pending_;
    // Generic cell rate: when the allowance would be full again; nothing spent yet while unset.
    qint64 theoretical_ = 0;
    bool spent_ = false;
    // When each target last had a turn, by a running count; forgotten when its lines are gone.
    QHash<QByteArray, quint64> lastTurn_;
    quint64 turns_ = 0;
};

} // namespace palvuro
