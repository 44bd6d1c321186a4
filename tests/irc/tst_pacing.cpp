// The send queue's pace and the reconnect backoff, on a clock the test turns.
#include "irc/IrcBackoff.h"
#include "irc/IrcSendQueue.h"
#include "irc/IrcSentLines.h"

#include <QtTest>

using namespace palvuro;

namespace {

// ircd-hybrid as it treats a client's lines, measured on the real server: five are read at once,
// then one more for each second gone by; the rest wait unread (and, past 2560 bytes, cost the
// connection). Among the lines it reads, a target's tenth within its flood time and the ones
// after it are throttled, and that count drains by one a second.
struct HybridServer {
    struct FloodCheck {
        qint64 drainedAtS = 0;
        int count = 0;
        bool noticed = false;
    };
    int credit = 0;
    qint64 creditTickS = 0;
    int unreadMost = 0;
    QHash<QByteArray, FloodCheck> targets;

    // False when the server lets the line wait or throttles it.
    bool reads(const QByteArray& target, qint64 nowMs) {
        const qint64 nowS = nowMs / 1000;
        credit = static_cast<int>(std::max<qint64>(0, credit - (nowS - creditTickS)));
        creditTickS = nowS;
        if (credit >= 5)
            return false;
        ++credit;
        return !throttles(targets[target.toLower()], nowS);
    }

    static bool throttles(FloodCheck& check, qint64 nowS) {
        if (check.drainedAtS + 1 < nowS) {
            check.count -= static_cast<int>(nowS - check.drainedAtS);
            check.drainedAtS = nowS;
            if (check.count <= 0) {
                check.count = 0;
                check.noticed = false;
            }
        }
        if (check.count >= 10 || check.noticed) {
            if (!check.noticed)
                check.count += 2;
            check.noticed = true;
            return true;
        }
        ++check.count;
        return false;
    }
};

} // namespace

class TestIrcPacing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The allowance belongs to the queue, not to one text: a second burst right after the first
    // waits, and msUntilNext names the moment it may go.
    void pacingSurvivesAcrossTexts() {
        IrcSendQueue queue(IrcSendQueue::Pacing{3, 1000});
        queue.push("#c", {"a", "a", "a"}, true);
        QCOMPARE(queue.take(0).size(), 3);
        QCOMPARE(queue.msUntilNext(0), -1);
        queue.push("#c", {"b"}, true);
        QVERIFY(queue.take(500).isEmpty());
        QCOMPARE(queue.msUntilNext(500), 500);
        QCOMPARE(queue.take(1000).size(), 1);
        queue.push("#c", {"c"}, true);
        QVERIFY(queue.take(1999).isEmpty());
        QCOMPARE(queue.take(2000).size(), 1);

        // Private targets take turns, whatever the case of their names; each keeps its own order;
        // the channel goes first, even when it comes last, and private lines leave it the
        // allowance's last slot.
        queue.push("A", {"a1", "a2", "a3"}, false);
        queue.push("B", {"b1"}, false);
        queue.push("c", {"c1"}, false);
        queue.push("b", {"b2"}, false);
        queue.push("#c", {"#1"}, true);
        QCOMPARE(queue.take(10'000), (QList<QByteArray>{"#1", "a1"}));
        QCOMPARE(queue.take(11'000), (QList<QByteArray>{"b1"}));
        queue.push("#c", {"#2"}, true);
        QCOMPARE(queue.take(11'000), (QList<QByteArray>{"#2"}));
        QCOMPARE(queue.take(13'000), (QList<QByteArray>{"c1"}));

        // Leaving the channel takes its lines back and leaves the private ones waiting.
        queue.push("#C", {"#3", "#4"}, true);
        const QList<IrcSendQueue::Line> dropped = queue.takeFor("#c");
        QCOMPARE(dropped.size(), 2);
        QCOMPARE(dropped.first().bytes, QByteArray("#3"));
        QCOMPARE(queue.take(20'000), (QList<QByteArray>{"a2", "b2"}));
        QCOMPARE(queue.take(21'000), (QList<QByteArray>{"a3"}));
        QVERIFY(queue.isEmpty());
    }

    // Fifty clones ask for the top ten during ten minutes of a game, one of them over and over:
    // the server reads every line at once and throttles none, the game's lines never wait behind
    // a list, each list arrives whole and in order or is refused whole, a repeated request is
    // answered by the list still waiting, and the queue stays bounded.
    void cloneFloodNeverStarvesTheGame() {
        IrcSendQueue queue(IrcSendQueue::Pacing{});
        HybridServer server;
        QHash<QByteArray, QList<int>> received;
        QHash<QByteArray, int> accepted;
        qint64 channelWaitMaxMs = 0;
        qint64 channelPushedAt = -1;
        qsizetype longest = 0;
        int repeats = 0;
        for (qint64 now = 0; now < 900'000; now += 10) {
            if (now % 1100 == 0 && now < 600'000) { // the bot's own spacing
                const int turn = static_cast<int>(now / 1100);
                if (turn % 4 == 0) {
                    QVERIFY(channelPushedAt < 0);
                    queue.push("#trivia", {"PRIVMSG #trivia :q"}, true);
                    channelPushedAt = now;
                } else {
                    const QByteArray clone = turn % 3 ? "clone" + QByteArray::number(turn % 50) : "pest";
                    QList<QByteArray> list;
                    for (int i = 0; i < 12; ++i)
                        list.append("PRIVMSG " + clone + " :" + QByteArray::number(i));
                    switch (queue.push(clone, list, false)) {
                    case IrcSendQueue::Pushed::Queued:
                        ++accepted[clone];
                        break;
                    case IrcSendQueue::Pushed::AlreadyWaiting:
                        repeats += clone == "pest";
                        break;
                    case IrcSendQueue::Pushed::Full:
                        break;
                    }
                }
            }
            longest = std::max(longest, queue.size());
            for (const QByteArray& line : queue.take(now)) {
                const QList<QByteArray> parts = line.split(' ');
                QVERIFY(server.reads(parts.at(1), now));
                if (parts.at(1) == "#trivia") {
                    channelWaitMaxMs = std::max(channelWaitMaxMs, now - channelPushedAt);
                    channelPushedAt = -1;
                } else {
                    received[parts.at(1)].append(parts.at(2).mid(1).toInt());
                }
            }
        }
        QVERIFY2(channelWaitMaxMs == 0, qPrintable(QString::number(channelWaitMaxMs)));
        QVERIFY(repeats > 0);
        QVERIFY(longest <= IrcSendQueue::MaxPrivateLines + 1);
        QVERIFY(queue.isEmpty());
        QList<int> list;
        for (int i = 0; i < 12; ++i)
            list.append(i);
        for (auto it = accepted.cbegin(); it != accepted.cend(); ++it) {
            QList<int> whole;
            for (int n = 0; n < it.value(); ++n)
                whole += list;
            QCOMPARE(received.value(it.key()), whole);
        }
    }

    // A refusal names the target of a recent line: the oldest such line is the refused one. (What
    // a refusal of too many new targets holds back, the session's suite shows.)
    void refusalsNameTheirLines() {
        IrcSentLines sent;
        sent.sent("PRIVMSG #trivia :first", 0);
        sent.sent("PRIVMSG ANNA :your score", 100);
        sent.sent("PRIVMSG #trivia :second", 200);
        const auto refused = [&](const QByteArray& reply, qint64 now) {
            const auto line = sent.refusedBy(IrcMessage::parse(reply), now);
            return line ? line->target + ' ' + line->text : QByteArray("(none)");
        };
        QCOMPARE(refused(":s 404 Bot #TRIVIA :Cannot send to channel", 300), QByteArray("#trivia first"));
        QCOMPARE(refused(":s 404 Bot #trivia :Cannot send to channel", 300), QByteArray("#trivia second"));
        QCOMPARE(refused(":s 404 Bot #trivia :Cannot send to channel", 300), QByteArray("(none)"));
        QCOMPARE(refused(":s 366 Bot ANNA :End", 300), QByteArray("(none)"));
        QCOMPARE(refused(":s 401 Bot ANNA :No such nick", 300 + IrcSentLines::RefusalWindowMs),
                 QByteArray("(none)"));

        // A nick that takes messages only from those it allows: 716 per line, 717 once with
        // the first; a 717 on its own names its line too.
        for (const char* line : {"PRIVMSG DAN :1.", "PRIVMSG DAN :2.", "PRIVMSG EVE :hi"})
            sent.sent(line, 60'000);
        QCOMPARE(refused(":s 716 Bot DAN :is in +g mode", 60'100), QByteArray("DAN 1."));
        QCOMPARE(refused(":s 717 Bot DAN :has been informed that you messaged them.", 60'100),
                 QByteArray("(none)"));
        QCOMPARE(refused(":s 716 Bot DAN :is in +g mode", 60'100), QByteArray("DAN 2."));
        QCOMPARE(refused(":s 717 Bot EVE :has been informed that you messaged them.", 60'100),
                 QByteArray("EVE hi"));
    }

    // Each cause keeps its own first wait and ceiling; the failures in a row are counted across
    // causes, so a server that bans us after refusals does not start over from its first wait.
    void backoffDoublesUpToItsCeilingAndResets() {
        using Cause = IrcBackoff::Cause;
        IrcBackoff backoff(IrcBackoff::Limits{{500, 4000}, {500, 1500}, {2000, 10'000}, {3000, 40'000}});
        QList<int> delays;
        for (int i = 0; i < 6; ++i)
            delays.append(backoff.nextDelayMs(Cause::Lost));
        QCOMPARE(delays, (QList<int>{500, 1000, 2000, 4000, 4000, 4000}));
        QCOMPARE(backoff.nextDelayMs(Cause::Unreachable), 1500);
        QCOMPARE(backoff.nextDelayMs(Cause::Refused), 10'000);
        QCOMPARE(backoff.nextDelayMs(Cause::Banned), 40'000);
        for (int i = 0; i < 100; ++i)
            QVERIFY(backoff.nextDelayMs(Cause::Lost) == 4000);
        backoff.reset();
        QCOMPARE(backoff.nextDelayMs(Cause::Refused), 2000);
        QCOMPARE(backoff.nextDelayMs(Cause::Banned), 6000);
        backoff.reset();
        QCOMPARE(backoff.nextDelayMs(Cause::Lost), 500);
    }
};

QTEST_GUILESS_MAIN(TestIrcPacing)
#include "tst_pacing.moc"
