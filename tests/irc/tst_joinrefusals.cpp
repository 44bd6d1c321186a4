// Refused JOINs against a real InspIRCd: the server's reason reaches whoever watches,
// and over five minutes of the session's clock the client asks for the channel no more often
// than its backoff allows, counted on the wire.
#include "chatclient/IrcRoomLink.h"
#include "irc/IrcClock.h"
#include "irc/IrcSession.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/InspIrcdServer.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/LineTap.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace palvuro;

namespace {

constexpr qint64 kFiveMinutesMs = 5 * 60'000;
constexpr qint64 kStepMs = 10'000;

// Sends a channel operator's LINE and waits until the server has applied it.
bool operatorSays(IrcChatter& op, const QByteArray& line) {
    const int mark = op.receivedCount();
    op.sendRaw(line);
    op.sendRaw("PING :applied");
    return op.waitFor([](const IrcChatter::Message& m) { return m.command == QLatin1String("PONG"); }, mark)
        .has_value();
}

} // namespace

class TestIrcJoinRefusals : public QObject {
    Q_OBJECT

    std::unique_ptr<InspIrcdServer> ircd;
    int cases = 0;

    struct Bot {
        // Each case has a channel and a nick of its own: the server remembers bans, invitations
        // and nicks a moment longer than a test.
        QString channel;
        QString nick;
        IrcClock clock;
        std::unique_ptr<LineTap> tap;
        std::unique_ptr<IrcSession> session;
        std::unique_ptr<FakeDesktop> desk;
        std::unique_ptr<IrcRoomLink> link; // the status line
        std::unique_ptr<QSignalSpy> outside;
        int joins() const { return tap->count("JOIN"); }
        // LINE with "%c" and "%n" standing for the channel and the bot's nick.
        QByteArray fill(QByteArray line) const {
            return line.replace("%c", channel.toUtf8()).replace("%n", nick.toUtf8());
        }
    };

    // A new channel for BOT, made by OP, who is its operator.
    void openRoom(Bot& bot, IrcChatter& op) {
        bot.channel = QStringLiteral("#room%1").arg(++cases);
        bot.nick = QStringLiteral("TriviaBot%1").arg(cases);
        QVERIFY(op.connectTo(ircd->port(), bot.channel));
    }

    // The bot, its time on a clock the test moves, its lines through a tap.
    void startBot(Bot& bot) {
        bot.tap = std::make_unique<LineTap>(ircd->port());
        IrcSessionConfig config;
        config.host = QString::fromLatin1(ServerProcess::Host);
        config.port = bot.tap->port();
        config.channel = bot.channel;
        config.nick = bot.nick;
        config.clock = &bot.clock;
        bot.session = std::make_unique<IrcSession>(config);
        bot.desk = std::make_unique<FakeDesktop>(bot.nick, 0);
        bot.link = std::make_unique<IrcRoomLink>(bot.desk->room(), *bot.session, config);
        bot.outside = std::make_unique<QSignalSpy>(bot.session.get(), &IrcSession::outsideChannel);
        bot.session->start();
    }

    // Moves the bot's clock on by MS, a step at a time; a JOIN a step sends is answered by the
    // server before the clock moves on. False when one is never answered.
    [[nodiscard]] static bool passTime(Bot& bot, qint64 ms) {
        for (qint64 done = 0; done < ms; done += kStepMs) {
            const int joins = bot.joins();
            const qsizetype answers = bot.outside->size();
            const bool inside = bot.session->state() == IrcSession::State::Joined;
            bot.clock.advance(kStepMs);
            if (!QTest::qWaitFor([&] { return bot.joins() > joins; }, 20))
                continue;
            if (!QTest::qWaitFor(
                    [&] {
                        return bot.outside->size() > answers ||
                               (!inside && bot.session->state() == IrcSession::State::Joined);
                    },
                    5000))
                return false;
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase() {
        if (const QString why = InspIrcdServer::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        ircd = std::make_unique<InspIrcdServer>();
        QVERIFY2(ircd->start(), qPrintable(ircd->error()));
    }
    void cleanupTestCase() { ircd.reset(); }

    // A channel that keeps us out for good and one that does for a while: the first JOIN is
    // answered with the server's own reason, and in five minutes exactly as many JOINs follow
    // as the wait for that reason allows: none after a lasting refusal, a doubling wait after a
    // passing one. An invitation lets us in at once. (Every lasting refusal takes one branch;
    // the key we know goes with our JOIN: the session's suite.)
    void answersARefusal_data() {
        QTest::addColumn<QByteArray>("setUp"); // the operator's line before we come
        QTest::addColumn<bool>("crowd");       // someone else joins before us
        QTest::addColumn<QString>("reason");   // a part of the server's words
        QTest::addColumn<int>("joins");        // in five minutes: no more, and no fewer
        QTest::addColumn<QByteArray>("then");  // the operator's line after five minutes
        QTest::newRow("banned") << QByteArray("MODE %c +b %n!*@*") << false << QStringLiteral("banned") << 1
                                << QByteArray();
        QTest::newRow("invite only, then invited")
            << QByteArray("MODE %c +i") << false << QStringLiteral("invite only") << 1
            << QByteArray("INVITE %n %c");
        // Joins at 0, 30, 90 and 210 s: the throttle's wait doubles.
        QTest::newRow("join throttle")
            << QByteArray("MODE %c +j 1:60") << true << QStringLiteral("temporarily") << 4 << QByteArray();
    }
    void answersARefusal() {
        QFETCH(QByteArray, setUp);
        QFETCH(bool, crowd);
        QFETCH(QString, reason);
        QFETCH(int, joins);
        QFETCH(QByteArray, then);
        IrcChatter anna(QStringLiteral("ANNA"));
        Bot bot;
        openRoom(bot, anna);
        QVERIFY(operatorSays(anna, bot.fill(setUp)));
        IrcChatter bob(QStringLiteral("BOB"));
        if (crowd)
            QVERIFY(bob.connectTo(ircd->port(), bot.channel));
        startBot(bot);
        QTRY_VERIFY2_WITH_TIMEOUT(!bot.outside->isEmpty(), bot.tap->sent().join('\n').constData(), 15000);
        const QString said = bot.outside->first().first().toString();
        QVERIFY2(said.contains(reason, Qt::CaseInsensitive), qPrintable(said));
        QVERIFY2(bot.link->status().startsWith(
                     QStringLiteral("Not in %1: %2; joining again in ").arg(bot.channel, said)),
                 qPrintable(bot.link->status()));
        QVERIFY(passTime(bot, kFiveMinutesMs));
        QCOMPARE(bot.joins(), joins);
        QVERIFY(bot.session->state() != IrcSession::State::Joined);
        if (then.isEmpty())
            return;
        const int before = bot.joins();
        QVERIFY(operatorSays(anna, bot.fill(then)));
        QTRY_COMPARE_WITH_TIMEOUT(bot.session->state(), IrcSession::State::Joined, 5000);
        QCOMPARE(bot.joins(), before + 1);
    }
};

QTEST_GUILESS_MAIN(TestIrcJoinRefusals)
#include "tst_joinrefusals.moc"
