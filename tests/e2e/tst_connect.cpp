#include "tests/support/E2eSession.h"

#include <QtTest>

using namespace palvuro;

// palvuro-trivia --connect with no display server at all: the bot started before its chat client
// waits for it, and a running game goes on while the client ends and starts again.
class TestConnect : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gameGoesOnOverClientRestart() {
        const QString why = E2eSession::cannotRun(false);
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        E2eSession room;
        room.setHeadless();
        room.setTimings(60, 2);
        QVERIFY2(room.prepare() && room.startBot(), qPrintable(room.error()));
        QTRY_VERIFY2_WITH_TIMEOUT(room.botLog().contains("no window titled \"Palvuro 2.0\""),
                                  qPrintable(room.botLog()), 30000);
        QCOMPARE(room.trivia().state(), QProcess::Running);
        QVERIFY2(room.startChat() && room.connectBot(), qPrintable(room.error() + room.botLog()));

        int at = room.roomSize();
        room.say("ANNA", "!START HISTORY");
        const QHash<QString, QString>& answers = E2eSession::answers();
        const auto question = room.waitFor(at, [&](const E2eSession::Record& r) {
            return r.from == E2eSession::BotNick && answers.contains(r.text);
        });
        QVERIFY2(question, room.dump());

        room.killChat();
        QTRY_VERIFY2_WITH_TIMEOUT(room.botLog().contains("disconnected from the chat client"),
                                  qPrintable(room.botLog()), 30000);
        QVERIFY2(room.startChat() && room.connectBot(), qPrintable(room.error() + room.botLog()));
        at = room.roomSize();
        room.say("BOB", answers.value(question->text));
        QVERIFY2(room.waitFor(
                     at, E2eSession::botSays(
                             "(*)BOB (*) Is Correct, Your Score Is [ 1 ]\r\n2 Seconds Until Next Question.")),
                 room.dump(at));
        room.say("ANNA", "!QUIT");
        QVERIFY2(room.waitFor(at, E2eSession::botSays("[Trivia Ended By ANNA]")), room.dump(at));

        // One line per event, for a supervisor reading the bot's standard error.
        QTRY_VERIFY_WITH_TIMEOUT(room.botLog().contains("game ended by \"ANNA\""), 10000);
        const QString log = room.botLog();
        QCOMPARE(log.count("connected to the chat client as \"TRIVIA\""), 2);
        QCOMPARE(log.count("disconnected from the chat client"), 1);
        QCOMPARE(log.count("game started by \"ANNA\" in \"HISTORY\""), 1);
        QCOMPARE(log.count("cannot connect to the chat client: no window titled"), 2);
    }
};

QTEST_GUILESS_MAIN(TestConnect)
#include "tst_connect.moc"
