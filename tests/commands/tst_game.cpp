#include "tests/commands/BotRig.h"

#include <QtTest>

using namespace palvuro;

namespace {

const QString Question = "CAPITAL OF FRANCE?";
const QString Pause = "\r\n40 Seconds Until Next Question.";

// Reader ticks until the bot speaks: how many it took, or -1.
int ticksUntilBotSpeaks(BotRig& rig, int limit) {
    const qsizetype before = rig.botLines().size();
    for (int i = 1; i <= limit; ++i) {
        rig.tick();
        if (rig.botLines().size() != before)
            return i;
    }
    return -1;
}

} // namespace

class TestGame : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeGame() {
        BotRig rig;
        rig.say("Anna", "!START HISTORY"); // a quit in the wait before the first question ends it
        rig.tick(50);
        rig.say("Anna", "!QUIT");
        rig.tick(500);
        QCOMPARE(rig.botLines(), (QStringList{"[Trivia Bot Started By ANNA]", "[Trivia Ended By ANNA]"}));

        rig.say("Anna", "!start history");
        QCOMPARE(rig.botLines().last(), QString("[Trivia Bot Started By ANNA]"));
        const std::uint32_t started = rig.said.last().tick;
        rig.say("Bob", "!categories"); // the room is still read during the wait
        QCOMPARE(rig.botLines().last(),
                 QString("CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n"));
        QVERIFY(ticksUntilBotSpeaks(rig, 300) > 0);
        QCOMPARE(rig.botLines().last(), Question);
        const std::uint32_t asked = rig.said.last().tick;
        QVERIFY(asked - started >= 2000 && asked - started <= 2000 + 1100 + 20);
        QCOMPARE(rig.cheats, QStringList{"PARIS"});

        rig.say("Zed", "!Q");
        QCOMPARE(rig.said.last().text, QString("/msg ZED <b>CAPITAL OF FRANCE?</b>"));

        // Half time on the clock, counted from the pick: the question itself may have waited
        // up to one send spacing after the categories line before it reached the room.
        QVERIFY(ticksUntilBotSpeaks(rig, 3000) > 0);
        QVERIFY(rig.said.last().tick - asked > 20000 - 1100 && rig.said.last().tick - asked <= 20020);
        QVERIFY(rig.botLines().last().startsWith("HINT: "));

        std::optional<qint64> storedWhenSaid;
        QObject::connect(&rig.desk.room(), &ChatRoom::roomLine, [&](const QString&, const QString& text) {
            if (text.contains("Is Correct"))
                TriviaDatabase(rig.dir.path()).lookupScore("BOB", &storedWhenSaid);
        });
        rig.say("Bob", "paris");
        QCOMPARE(rig.botLines().last(), "(*)BOB (*) Is Correct, Your Score Is [ 1 ]" + Pause);
        QCOMPARE(storedWhenSaid, std::optional<qint64>(1));

        rig.timings.setGiveAnswer(true);
        for (int i = 0; i < 40; ++i) // the pause
            rig.bot.startGetrandomTimer();
        QCOMPARE(rig.botLines().last(), Question);
        // The hint: the clock ran while the question waited its turn after the answer's line.
        QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000 - 110);
        QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000);
        QCOMPARE(rig.botLines().last(), "Times Up! Answer Was PARIS" + Pause);

        rig.bot.startGetrandomTimer(); // "!QUIT" in the pause: the end line and nothing after it
        rig.say("Anna", "!quit");
        QCOMPARE(rig.botLines().last(), QString("[Trivia Ended By ANNA]"));
        const qsizetype ended = rig.botLines().size();
        for (int i = 0; i < 100; ++i)
            rig.bot.startGetrandomTimer();
        rig.tick(5000);
        QCOMPARE(rig.botLines().size(), ended);

        rig.say("Anna", "!START empty");
        rig.tick(300);
        QCOMPARE(
            rig.botLines().mid(ended),
            (QStringList{"[Trivia Bot Started By ANNA]",
                         "This Category Contains No Questions, Please Select Another", "[Trivia Ended]"}));
        QVERIFY(!rig.bot.session().isRunning() && !rig.pause.isEnabled());
    }

    // The client ends mid-question: the question clock runs on against its missing windows and
    // the question stays open for the client that comes back (the end-to-end suites reconnect).
    void clockRunsOnWhileTheClientIsGone() {
        BotRig rig;
        QVERIFY(rig.startGame());
        rig.desk.registry().destroy(rig.desk.room().mainWindow());
        const int ticks = rig.timings.answerTicks();
        rig.tick(200);
        QCOMPARE(rig.timings.answerTicks(), ticks + 200);
        QVERIFY(rig.bot.session().questionOpen());
    }

    // A line that waits for its send spacing while a tick scores the answer or stops the game
    // is dropped: no hint after the answer, nothing of a game after its end line.
    void linesMadeStaleDuringTheirWaitAreDropped() {
        BotRig rig;
        rig.say("Anna", "!START HISTORY");
        QVERIFY(ticksUntilBotSpeaks(rig, 300) > 0);
        rig.tick(1990);
        rig.say("Zed", "!Q"); // the reply leaves the hint waiting for its turn
        rig.pump.onNextWait = [&] { rig.desk.say("Bob", "paris"); };
        QVERIFY(ticksUntilBotSpeaks(rig, 20) > 0);
        rig.tick(3980);
        rig.say("Bob", "!MYSCORE"); // the reply leaves the next question waiting for its turn
        rig.pump.onNextWait = [&] { rig.desk.say("Anna", "!QUIT"); };
        rig.tick(500);
        QCOMPARE(rig.botLines().mid(1),
                 (QStringList{Question, "(*)BOB (*) Is Correct, Your Score Is [ 1 ]" + Pause,
                              "[Trivia Ended By ANNA]"}));
    }
};

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
