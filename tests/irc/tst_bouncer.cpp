// The client behind a real ZNC in front of a real ircd-hybrid, logged in with PASS.
#include "irc/IrcSession.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/E2eSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/ZncBouncer.h"

#include <QSignalSpy>
#include <QtTest>

using namespace palvuro;

class TestIrcBouncer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // palvuro-chat and the bot play a game through the bouncer, its password read from a file;
    // a wrong password is refused in the bouncer's words and never joins.
    void playsThroughTheBouncer() {
        for (const QString& why : {IrcServer::cannotRun(), ZncBouncer::cannotRun(), E2eSession::cannotRun()})
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
        const QString channel = QStringLiteral("#trivia");
        IrcServer ircd;
        QVERIFY2(ircd.start(), qPrintable(ircd.error()));
        IrcChatter anna(QStringLiteral("ANNA")), bob(QStringLiteral("BOB"));
        for (IrcChatter* c : {&anna, &bob})
            QVERIFY(c->connectTo(ircd.port(), channel));
        ZncBouncer znc;
        QVERIFY2(znc.start(ircd.port(), QString::fromLatin1(E2eSession::BotNick), channel, "bouncer secret"),
                 qPrintable(znc.error()));

        QTemporaryDir dir;
        QFile passwordFile(dir.filePath(QStringLiteral("password")));
        QVERIFY(passwordFile.open(QIODevice::WriteOnly) &&
                passwordFile.write("bot/net:bouncer secret\n") > 0);
        passwordFile.close();
        E2eSession room;
        // The replies to the connect's probes go out first, and ZNC spaces what the client sends
        // once more: the bot's first lines reach the channel seconds after it says them.
        room.setTimings(8, E2eSession::PauseSecs);
        room.setChatArguments({QStringLiteral("--server-password-file"), passwordFile.fileName(),
                               QStringLiteral("irc://127.0.0.1:%1/%23trivia").arg(znc.port())});
        QVERIFY2(room.start(), qPrintable(room.error()));
        ChannelGame game(anna, channel, QString::fromLatin1(E2eSession::BotNick), E2eSession::answers(),
                         room.dataFolder());
        int at = anna.receivedCount() - 1;
        anna.say(channel, QStringLiteral("!start history"));
        QVERIFY2(
            anna.waitFor(game.botSays(QStringLiteral("[Trivia Bot Started By ANNA]")), at + 1, 30000, &at),
            anna.dump().constData());
        QVERIFY(game.answers(bob, &at));

        IrcSessionConfig config;
        config.host = QString::fromLatin1(ServerProcess::Host);
        config.port = znc.port();
        config.channel = channel;
        config.nick = QStringLiteral("TriviaBot");
        config.serverPassword = "bot/net:wrong";
        IrcSession refused(config);
        QSignalSpy reasons(&refused, &IrcSession::refused);
        refused.start();
        QTRY_VERIFY_WITH_TIMEOUT(!reasons.isEmpty(), 15000);
        QTRY_COMPARE(refused.state(), IrcSession::State::Reconnecting);
        QVERIFY(!reasons.first().first().toString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestIrcBouncer)
#include "tst_bouncer.moc"
