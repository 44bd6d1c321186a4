// The client behind a real ZNC in front of a real ircd-hybrid, logged in with PASS.
#include "irc/IrcSession.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/E2eSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZncBouncer.h"

#include <QSignalSpy>
#include <QtTest>

using namespace palvuro;

class TestIrcBouncer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A line goes each way between the channel and the bot through the bouncer, the client's
    // password read from a file; a wrong password is refused in the bouncer's words and never
    // joins. The game itself is the channel suite's.
    void linesCrossTheBouncer() {
        for (const QString& why : {IrcServer::cannotRun(), ZncBouncer::cannotRun(), E2eSession::cannotRun()})
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
        const QString channel = QStringLiteral("#trivia");
        IrcServer ircd;
        QVERIFY2(ircd.start(), qPrintable(ircd.error()));
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd.port(), channel));
        ZncBouncer znc;
        QVERIFY2(znc.start(ircd.port(), QString::fromLatin1(E2eSession::BotNick), channel, "bouncer secret"),
                 qPrintable(znc.error()));

        QTemporaryDir dir;
        const QString passwordFile = dir.filePath(QStringLiteral("password"));
        QVERIFY(TestFiles::write(passwordFile, "bot/net:bouncer secret\n"));
        E2eSession room;
        room.setChatArguments({QStringLiteral("--server-password-file"), passwordFile,
                               QStringLiteral("irc://127.0.0.1:%1/%23trivia").arg(znc.port())});
        QVERIFY2(room.start(), qPrintable(room.error()));
        const ChannelGame game(anna, channel, QString::fromLatin1(E2eSession::BotNick), E2eSession::answers(),
                               room.dataFolder());
        anna.say(channel, QStringLiteral("!start history"));
        QVERIFY2(anna.waitFor(game.botSays(QStringLiteral("[Trivia Bot Started By ANNA]")), 0, 30000),
                 anna.dump().constData());

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
