// The client behind a real ZNC in front of a real ircd-hybrid, logged in with PASS.
#include "irc/IrcSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/ZncBouncer.h"

#include <QSignalSpy>
#include <QtTest>

using namespace palvuro;

class TestIrcBouncer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The bouncer's channel is ours: what we say reaches the server's chatters and theirs reach
    // us; a wrong password is refused in the bouncer's words and never joins.
    void chatsThroughTheBouncer() {
        for (const QString& why : {IrcServer::cannotRun(), ZncBouncer::cannotRun()})
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
        const QString channel = QStringLiteral("#trivia");
        IrcServer ircd;
        QVERIFY2(ircd.start(), qPrintable(ircd.error()));
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd.port(), channel));
        ZncBouncer znc;
        QVERIFY2(znc.start(ircd.port(), QStringLiteral("TriviaBot"), channel, "bouncer secret"),
                 qPrintable(znc.error()));

        IrcSessionConfig config;
        config.host = QString::fromLatin1(ServerProcess::Host);
        config.port = znc.port();
        config.channel = channel;
        config.nick = QStringLiteral("TriviaBot");
        config.serverPassword = "bot/net:bouncer secret";
        IrcSession session(config);
        QSignalSpy heard(&session, &IrcSession::channelMessage);
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 30000);
        QVERIFY(session.say(QStringLiteral("Question 1: the capital of France?")));
        QVERIFY(anna.waitFor(IrcChatter::privmsgFrom(QStringLiteral("TriviaBot"),
                                                     QStringLiteral("Question 1: the capital of France?"))));
        anna.sendRaw("PRIVMSG #trivia :Paris");
        QTRY_VERIFY(!heard.isEmpty());
        QCOMPARE(heard.last(), (QVariantList{QStringLiteral("ANNA"), QStringLiteral("Paris")}));

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
