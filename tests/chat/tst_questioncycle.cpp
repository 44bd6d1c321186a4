#include "chat/HintBuilder.h"
#include "chat/QuestionCycle.h"
#include "tests/chat/LinkRig.h"

#include <QtTest>

using namespace palvuro;

namespace {

// A running game on HISTORY, whose one question has a one-letter answer (so no hint line).
struct CycleRig : LinkRig {
    CycleRig() {
        auto db = std::make_unique<TriviaDatabase>(dir.path());
        db->createCategory("History");
        db->addPair("HISTORY", "Capital of France?", "A");
        session.start(std::move(db), "HISTORY");
        timings.setNextQuestionSecs(40);
    }
    // Reader ticks `step` ms apart: true when a bot line comes at the last one and not before.
    bool ticks(int count, std::uint32_t step) {
        const qsizetype before = botLines().size();
        for (int i = 0; i < count; ++i) {
            if (botLines().size() != before)
                return false;
            pump.advance(step);
            if (session.questionOpen())
                cycle.checkQuestionTime();
        }
        return botLines().size() != before;
    }

    QuestionCycle cycle{session, link, clocks, {}};
};

} // namespace

class TestQuestionCycle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hint() {
        // Sources that always give the first position still free, and one past the last.
        const auto first = [] { return 0.0; };
        const auto beyond = [] { return 1.0; };
        QVERIFY(!HintBuilder::draw("A", first));
        QCOMPARE(HintBuilder::draw("AB", first), QString("A B ")); // two distinct positions
        QCOMPARE(HintBuilder::draw("A  ", first), QString("A     "));
        QCOMPARE(HintBuilder::draw(" AB ", beyond), QString("  A B   ")); // spaces are never drawn
        QCOMPARE(HintBuilder::build("NEW YORK", 2, 5), QString("_ E _   Y _ _ _ "));
    }

    void clocksAlwaysEnd_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("step");       // ms between reader ticks
        QTest::addColumn<int>("lowerAfter"); // ticks before the time is lowered to 2 s; 0: never
        QTest::addColumn<int>("endsAfter");
        QTest::newRow("zero seconds") << 0 << 10 << 0 << 100;
        QTest::newRow("above the 16-bit range") << 1000 << 10 << 0 << 32700;
        QTest::newRow("lowered below the count") << 40 << 10 << 300 << 301;
        QTest::newRow("late ticks still make one second") << 1 << 25 << 0 << 41;
    }
    void clocksAlwaysEnd() {
        QFETCH(int, stored);
        QFETCH(int, step);
        QFETCH(int, lowerAfter);
        QFETCH(int, endsAfter);
        CycleRig rig;
        rig.timings.setAnswerSecs(static_cast<std::int16_t>(stored));
        rig.cycle.ramdomQuestion();
        QVERIFY(lowerAfter == 0 || !rig.ticks(lowerAfter, step));
        rig.timings.setAnswerSecs(static_cast<std::int16_t>(lowerAfter ? 2 : stored));
        QVERIFY(rig.ticks(endsAfter - lowerAfter, step));
        QVERIFY(rig.botLines().last().startsWith("Times Up!"));
    }

    void pauseClock() {
        CycleRig rig;
        rig.pause.setEnabled(true);
        for (int i = 1; i < 40; ++i)
            rig.cycle.startGetrandomTimer();
        QVERIFY(rig.botLines().isEmpty());
        rig.timings.setNextQuestionSecs(20); // shortened below the seconds counted: the next tick ends it
        rig.cycle.startGetrandomTimer();
        QCOMPARE(rig.botLines(), QStringList{"Capital of France?"});
        QVERIFY(!rig.pause.isEnabled());
    }
};

QTEST_GUILESS_MAIN(TestQuestionCycle)
#include "tst_questioncycle.moc"
