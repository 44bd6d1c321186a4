#include "chat/ChatLink.h"
#include "chat/HintBuilder.h"
#include "chat/QuestionCycle.h"
#include "chat/TimerSwitch.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QtTest>

using namespace palvuro;

namespace {

// A running game on the category HISTORY (one pair) of a temporary database.
struct CycleRig {
    explicit CycleRig(const QString& answer = "Paris") : link(state, desk.api(), pump, getText) {
        link.findChatMainWindow();
        link.locateChatRoom();
        auto db = std::make_unique<TriviaDatabase>(dir.path());
        db->open();
        db->createCategory("History");
        db->createCategory("Empty");
        if (!answer.isEmpty())
            db->addPair("HISTORY", "Capital of France?", answer);
        state.triviaConnection = std::move(db);
        state.gameCategory = "HISTORY";
        state.gameRunning = true;
        state.giveAnswerSecs = 40;
        state.nextQuestionSecs = 40;
    }
    // Reader ticks 10 ms apart; true when a bot line was said during the last one.
    bool ticks(int count) {
        const qsizetype before = desk.roomLines().size();
        for (int i = 0; i < count; ++i) {
            pump.advance(10);
            if (state.questionActive)
                cycle.checkQuestionTime();
            if (i < count - 1 && desk.roomLines().size() != before)
                return false; // said something too early
        }
        return desk.roomLines().size() != before;
    }
    QString lastLine() const { return desk.linesBy("TriviaBot").value(desk.linesBy("TriviaBot").size() - 1); }

    QTemporaryDir dir;
    FakeDesktop desk;
    EngineState state;
    ManualEventPump pump;
    FlagTimerSwitch getText;
    FlagTimerSwitch pause;
    ChatLink link;
    int stops = 0;
    QStringList cheats;
    QuestionCycle cycle{state,
                        link,
                        pump,
                        getText,
                        pause,
                        {[this](const QString& a) { cheats << a; }, {}, [this] { ++stops; }},
                        [] { return 0.0; }};
};

} // namespace

class TestQuestionCycle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hintText_data();
    void hintText();
    void hintDrawsTwoDistinctLetters();
    void questionHintAndTimesUp_data();
    void questionHintAndTimesUp();
    void clocksAlwaysEnd_data();
    void clocksAlwaysEnd();
    void lateTicksAreCaughtUp();
    void pauseAsksNextQuestion();
    void categoryWithNothingToAsk_data();
    void categoryWithNothingToAsk();
};

void TestQuestionCycle::hintText_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("draw");
    QTest::addColumn<QString>("hint"); // "-": none
    QTest::newRow("one character") << "A" << 0.0 << "-";
    QTest::newRow("two characters: both shown") << "AB" << 0.0 << "A B ";
    QTest::newRow("one letter and trailing blanks") << "A  " << 0.9 << "A     ";
    QTest::newRow("spaces are never drawn") << "A B" << 0.99 << "A   B ";
    QTest::newRow("top of the range") << "ABCD" << 0.999999 << "_ _ C D ";
}

void TestQuestionCycle::hintText() {
    QFETCH(QString, answer);
    QFETCH(double, draw);
    QFETCH(QString, hint);
    const auto drawn = HintBuilder::draw(answer, [draw] { return draw; });
    QCOMPARE(drawn.value_or("-"), hint);
    QCOMPARE(HintBuilder::build("NEW YORK", 2, 5), QString("_ E _   Y _ _ _ "));
}

void TestQuestionCycle::hintDrawsTwoDistinctLetters() {
    const QString answer = QString("AB CD ").repeated(42) + "EFG"; // 255 characters
    const auto random = HintBuilder::systemRandom();
    for (int round = 0; round < 200; ++round) {
        const QString hint = *HintBuilder::draw(answer, random);
        QCOMPARE(hint.size(), answer.size() * 2);
        int shown = 0;
        for (qsizetype i = 0; i < answer.size(); ++i) {
            const QChar c = hint.at(2 * i);
            QVERIFY(c == answer.at(i) || (c == '_' && answer.at(i) != ' '));
            shown += c != '_' && c != ' ';
        }
        QCOMPARE(shown, 2);
    }
}

void TestQuestionCycle::questionHintAndTimesUp_data() {
    QTest::addColumn<bool>("giveAnswer");
    QTest::addColumn<QString>("timesUp");
    QTest::newRow("answer kept") << false << "Times Up! Not Answered.\r\n40 Seconds Until Next Question.";
    QTest::newRow("answer shown") << true << "Times Up! Answer Was PARIS\r\n40 Seconds Until Next Question.";
}

void TestQuestionCycle::questionHintAndTimesUp() {
    QFETCH(bool, giveAnswer);
    QFETCH(QString, timesUp);
    CycleRig rig;
    rig.state.giveAnswer = giveAnswer;
    rig.cycle.ramdomQuestion();
    QCOMPARE(rig.lastLine(), QString("Capital of France?"));
    QCOMPARE(rig.cheats, QStringList{"PARIS"});
    QVERIFY(rig.state.questionActive && rig.getText.isEnabled());

    QVERIFY(rig.ticks(2000)); // the hint at the 2000th tick, not before
    QCOMPARE(rig.lastLine(), QString("HINT: P A _ _ _ "));
    QVERIFY(rig.ticks(2000)); // time's up at the 4000th
    QCOMPARE(rig.lastLine(), timesUp);
    QVERIFY(!rig.state.questionActive);
    QVERIFY(rig.pause.isEnabled());
}

void TestQuestionCycle::clocksAlwaysEnd_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("lowerAfter"); // ticks before the time is lowered to 2 s; 0: never
    QTest::addColumn<int>("endsAfter");
    QTest::newRow("zero seconds") << 0 << 0 << 100;
    QTest::newRow("negative") << -5 << 0 << 100;
    QTest::newRow("above the 16-bit range") << 1000 << 0 << 32700;
    QTest::newRow("lowered below the count") << 40 << 300 << 301;
}

void TestQuestionCycle::clocksAlwaysEnd() {
    QFETCH(int, stored);
    QFETCH(int, lowerAfter);
    QFETCH(int, endsAfter);
    CycleRig rig("A");
    rig.state.giveAnswerSecs = static_cast<std::int16_t>(stored);
    rig.cycle.ramdomQuestion();
    if (lowerAfter > 0) {
        QVERIFY(!rig.ticks(lowerAfter));
        rig.state.giveAnswerSecs = 2;
        QVERIFY(rig.ticks(endsAfter - lowerAfter));
    } else {
        QVERIFY(rig.ticks(endsAfter)); // a one-letter answer has no hint line
    }
    QVERIFY(rig.lastLine().startsWith("Times Up!"));
}

void TestQuestionCycle::lateTicksAreCaughtUp() {
    CycleRig rig("A"); // no hint, so no send spacing inside the second
    rig.state.giveAnswerSecs = 1;
    rig.cycle.ramdomQuestion();
    // Ticks that come 25 ms apart: the second of answer time is still one second.
    int calls = 0;
    while (rig.state.questionActive && calls < 100) {
        rig.pump.advance(25);
        rig.cycle.checkQuestionTime();
        ++calls;
    }
    QVERIFY2(calls >= 40 && calls <= 41, qPrintable(QString::number(calls)));
}

void TestQuestionCycle::pauseAsksNextQuestion() {
    CycleRig rig;
    rig.state.pauseSecs = 0;
    rig.pause.setEnabled(true);
    for (int i = 1; i < 40; ++i)
        rig.cycle.startGetrandomTimer();
    QVERIFY(rig.desk.roomLines().isEmpty());
    rig.state.nextQuestionSecs = 20; // lowered below the count already reached
    rig.cycle.startGetrandomTimer();
    QCOMPARE(rig.lastLine(), QString("Capital of France?"));
    QVERIFY(!rig.pause.isEnabled());
    QCOMPARE(rig.state.pauseSecs, std::int16_t(0));
}

void TestQuestionCycle::categoryWithNothingToAsk_data() {
    QTest::addColumn<QString>("category");
    QTest::newRow("no rows") << "EMPTY";
    QTest::newRow("table dropped during the game") << "GONE";
}

void TestQuestionCycle::categoryWithNothingToAsk() {
    QFETCH(QString, category);
    CycleRig rig;
    rig.state.gameCategory = category;
    rig.cycle.ramdomQuestion();
    QCOMPARE(rig.desk.linesBy("TriviaBot"),
             QStringList{"This Category Contains No Questions, Please Select Another"});
    QCOMPARE(rig.stops, 1);
    QVERIFY(!rig.state.questionActive);
}

QTEST_GUILESS_MAIN(TestQuestionCycle)
#include "tst_questioncycle.moc"
