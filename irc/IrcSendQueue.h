#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <deque>

namespace palvuro {

// Lines waiting for the socket, let go at a pace no server's flood protection objects to: a
// burst, then one line per interval, for the connection as a whole. The channel's lines (the
// game) go before any private line, and private lines leave the allowance's last slot to them,
// so a game line finds the way clear even while lists to a crowd fill every second. Private
// targets take turns, so a long list to one player never holds up another; one target's lines
// keep their order. Nothing is dropped for having waited: a top-ten list cut in the middle helps
// nobody. What keeps the queue short is that a text already waiting for a nick answers the same
// text again, and that private texts past a bound are refused whole. Time is passed in, so the
// pacing runs on any clock.
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
    };
    enum class Pushed {
        Queued,
        AlreadyWaiting, // the same text waits for the same nick and answers for both
        Full,           // too many private lines wait; the text was not queued
    };
    // Four minutes of private lines at the server's pace.
    static constexpr int MaxPrivateLines = 240;

    explicit IrcSendQueue(Pacing pacing);

    // Queues the lines of one text for TARGET, ahead of every private text when FIRST (the
    // channel's); a private text is queued whole or not at all.
    Pushed push(const QByteArray& target, const QList<QByteArray>& lines, bool first);
    // The lines that may go at NOW, in the order they should be written.
    QList<QByteArray> take(qint64 nowMs);
    // Records a line that went out without waiting (an answer to the server's PING, say).
    void spend(qint64 nowMs);
    // How long until take() has something, or -1 when nothing waits.
    qint64 msUntilNext(qint64 nowMs) const;
    // Drops what waits for TARGET and hands it back.
    QList<Line> takeFor(const QByteArray& target);
    // Drops what waits and hands it back.
    QList<Line> clear();
    bool isEmpty() const { return first_.empty() && private_.empty(); }
    qsizetype size() const;

private:
    struct Text {
        QByteArray target;
        QList<QByteArray> lines;
        qsizetype sent = 0;
    };
    std::deque<Text>::iterator nextPrivateTurn();
    QByteArray takeLine();
    static void drain(std::deque<Text>& texts, const QByteArray& target, QList<Line>& out);

    Pacing pacing_;
    std::deque<Text> first_;
    std::deque<Text> private_;
    qsizetype privateLines_ = 0;
    // Generic cell rate: when the allowance would be full again; nothing spent yet while unset.
    qint64 theoretical_ = 0;
    bool spent_ = false;
    // When each private target last had a turn, by a running count; forgotten when its lines
    // are gone.
    QHash<QByteArray, quint64> lastTurn_;
    quint64 turns_ = 0;
};

} // namespace palvuro
