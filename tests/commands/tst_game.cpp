#include "tests/commands/BotRig.h"

#include <QtTest>

using namespace palvuro;

namespace {

const QString Question = "Capital of France?";
const QString Pause = "\r\n40 Seconds Until Next Question.";

// Pause ticks until the next question; false when it came early or not at all.
bool pauseUntilQuestion(BotRig& rig) {
    const qsizetype before = rig.botLines().size();
    for (int i = 1; i < 40; ++i)
        rig.bot.startGetrandomTimer();
    if (rig.botLines().size() != before)
        return false;
    rig.bot.startGetrandomTimer();
    return rig.botLines().size() == before + 1 && rig.botLines().last() == Question;
}

// Reader ticks until the bot says something; the number of ticks it took.
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
    void wholeGame();
    void quitDuringFirstQuestionWait();
    void emptyCategory();
};

void TestGame::wholeGame() {
    BotRig rig;
    rig.say("Anna", "!start history");
    QCOMPARE(rig.botLines(), QStringList{"[Trivia Bot Started By ANNA]"});
    QVERIFY(rig.state.gameRunning);
    const std::uint32_t started = rig.said.last().tick;

    // The room is still read during the wait before the first question.
    rig.say("Bob", "!categories");
    QCOMPARE(rig.botLines().last(), QString("CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n"));
    QVERIFY(ticksUntilBotSpeaks(rig, 300) > 0);
    QCOMPARE(rig.botLines().last(), Question);
    QVERIFY(rig.said.last().tick - started >= 2000);
    QVERIFY(rig.said.last().tick - started <= 2000 + 1100 + 20); // plus the send spacing
    QCOMPARE(rig.cheats, QStringList{"PARIS"});

    rig.say("Zed", "!Q");
    QCOMPARE(rig.privateTexts().last(), QString("ZED <b>Capital of France?</b>"));
    rig.say("Zed", "!START ART"); // a game runs: no reply at all
    QCOMPARE(rig.botLines().last(), Question);

    // Half time on the clock: the "!Q" reply's send spacing is counted as time that passed.
    const std::uint32_t asked = rig.said.last().tick;
    QVERIFY(ticksUntilBotSpeaks(rig, 3000) > 0);
    QVERIFY2(rig.said.last().tick - asked >= 20000 && rig.said.last().tick - asked <= 20020,
             qPrintable(QString::number(rig.said.last().tick - asked)));
    QVERIFY(QRegularExpression("^HINT: (P |_ )(A |_ )(R |_ )(I |_ )(S |_ )$")
                .match(rig.botLines().last())
                .hasMatch());
    QCOMPARE(rig.botLines().last().count('_'), 3);

    std::optional<qint64> storedWhenSaid;
    QObject::connect(&rig.desk.room(), &ChatRoom::roomLine, [&](const QString&, const QString& text) {
        if (text.contains("Is Correct"))
            TriviaDatabase(rig.dir.path()).lookupScore("BOB", &storedWhenSaid);
    });
    rig.say("Bob", "paris");
    QCOMPARE(rig.botLines().last(), "(*)BOB (*) Is Correct, Your Score Is [ 1 ]" + Pause);
    QCOMPARE(storedWhenSaid, std::optional<qint64>(1));
    QVERIFY(rig.pause.isEnabled());

    QVERIFY(pauseUntilQuestion(rig));
    QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000); // the hint
    QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000);
    QCOMPARE(rig.botLines().last(), "Times Up! Not Answered." + Pause);

    rig.state.giveAnswer = true;
    QVERIFY(pauseUntilQuestion(rig));
    rig.tick(2000);
    QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000);
    QCOMPARE(rig.botLines().last(), "Times Up! Answer Was PARIS" + Pause);

    // "!QUIT" in the pause: the end line and nothing after it.
    rig.bot.startGetrandomTimer();
    rig.say("Anna", "!quit");
    QCOMPARE(rig.botLines().last(), QString("[Trivia Ended By ANNA]"));
    QVERIFY(!rig.pause.isEnabled() && !rig.state.gameRunning && !rig.state.questionActive);
    const qsizetype ended = rig.botLines().size();
    for (int i = 0; i < 100; ++i)
        rig.bot.startGetrandomTimer();
    rig.tick(5000);
    QCOMPARE(rig.botLines().size(), ended);
    QVERIFY(rig.fatalErrors.isEmpty());
}

void TestGame::quitDuringFirstQuestionWait() {
    BotRig rig;
    rig.say("Anna", "!START HISTORY");
    rig.tick(50);
    rig.say("Anna", "!QUIT");
    rig.tick(500);
    QCOMPARE(rig.botLines(), (QStringList{"[Trivia Bot Started By ANNA]", "[Trivia Ended By ANNA]"}));
    // A new game can start at once.
    rig.say("Anna", "!START HISTORY");
    rig.tick(300);
    QCOMPARE(rig.botLines().last(), Question);
}

void TestGame::emptyCategory() {
    BotRig rig;
    rig.say("Anna", "!START empty");
    rig.tick(300);
    QCOMPARE(rig.botLines(),
             (QStringList{"[Trivia Bot Started By ANNA]",
                          "This Category Contains No Questions, Please Select Another", "[Trivia Ended]"}));
    QVERIFY(!rig.state.gameRunning && !rig.pause.isEnabled());
}

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
