#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"

#include <QtTest>

using namespace palvuro;
using Record = E2eSession::Record;

// palvuro-chat and palvuro-trivia as separate programs on a private X server, the operator at
// the keyboard of the running bot (the tray and a second copy are left to the main window's
// suite; the game as the room sees it, to the channel suite). The menu is driven as a person
// without a mouse does: alt+f, then an item's mnemonic.
class TestGame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The operator adds a question while a game runs; the game goes on meanwhile, and the menu's
    // exit ends it and the program.
    void editorAndExitDuringGame() {
        if (const QString why = E2eSession::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        E2eSession room;
        QVERIFY2(room.start(), qPrintable(room.error()));
        const int mark = room.roomSize();
        room.say("ANNA", "!START HISTORY");
        const auto isQuestion = [](const Record& r) { return E2eSession::answers().contains(r.text); };
        QVERIFY2(room.waitFor(mark, isQuestion), room.dump(mark));
        QVERIFY(room.operatorMenu({"a"})); // "&Add Categories/Questions"
        const quint64 editor = room.waitForWindow("Add Categories / Questions");
        QVERIFY(editor != 0 && room.focus(editor));
        // Tab order: category box (the remembered ART), Delete, new category, its button,
        // question, answer, Add.
        QVERIFY(room.keys({"Tab", "Tab", "Tab", "Tab"}) && room.type(" what colour is the sky? "));
        QVERIFY(room.keys({"Tab"}) && room.type("blue") && room.keys({"Tab", "space"}));
        TriviaDatabase db(room.dataFolder());
        TriviaDatabase::Pair pair;
        QTRY_COMPARE_WITH_TIMEOUT(db.findPairByQuestion("ART", "WHAT COLOUR IS THE SKY?", &pair),
                                  DbStatus::Ok, 10000);
        QCOMPARE(pair.answer, QStringLiteral("BLUE"));
        QVERIFY2(room.waitFor(room.roomSize(), isQuestion), room.dump(mark));

        // A burst of commands keeps replies waiting for seconds; the exit comes among them, and
        // "[Trivia Ended]" is the last the room hears of the bot.
        const int burst = room.roomSize();
        for (int i = 0; i < 6; ++i)
            room.say("CAT", "!MYSCORE");
        const auto reply = E2eSession::botSays("<b>Your Score Is Zero</b>", "CAT");
        QVERIFY2(room.waitFor(burst, reply), room.dump(mark));
        // "&Edit Scores" shares the mnemonic: the first e moves to "&Exit Trivia", Return runs it.
        QVERIFY(room.operatorMenu({"e", "Return"}));
        int ended = 0;
        QVERIFY2(room.waitFor(mark, E2eSession::botSays("[Trivia Ended]"), &ended), room.dump(mark));
        // The bot may be gone already: the room's wait runs the event loop, which reaps it, and
        // waitForFinished() answers false for a process that has finished.
        QVERIFY(room.trivia().state() == QProcess::NotRunning || room.trivia().waitForFinished(30000));
        QCOMPARE(room.trivia().exitStatus(), QProcess::NormalExit);
        QCOMPARE(room.trivia().exitCode(), 0);
        const QList<Record> seen = room.records();
        int replies = 0;
        for (int i = burst; i < seen.size(); ++i) {
            QVERIFY2(i <= ended || seen[i].from != E2eSession::BotNick, room.dump(mark));
            replies += reply(seen[i]) ? 1 : 0;
        }
        QVERIFY2(replies < 6, room.dump(mark)); // the exit did come while replies waited
    }
};

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
