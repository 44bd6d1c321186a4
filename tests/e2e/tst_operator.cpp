#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"

#include <QtTest>

#include <memory>

using namespace palvuro;

// The operator at the keyboard of the running bot: the tray round trip, a second copy of the
// program, the category editor while a game runs, and leaving the program in the middle of a
// game. The menu is driven the way a person without a mouse does: alt+f, then an item's mnemonic.
class TestOperator : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void trayRoundTrip();
    void secondCopyIsRefused();
    void editorDuringGame();
    void exitDuringGame();

private:
    bool botAnswers();
    bool startGame();
    bool cancelClosesMenu(bool expected);

    std::unique_ptr<E2eSession> room_;
};

namespace {

bool isQuestion(const E2eSession::Record& r) {
    return r.from == E2eSession::BotNick && r.text.endsWith('?');
}

} // namespace

void TestOperator::initTestCase() {
    const QString why = E2eSession::cannotRun();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    room_ = std::make_unique<E2eSession>();
    QVERIFY2(room_->start(), qPrintable(room_->error()));
}

bool TestOperator::botAnswers() {
    const int mark = room_->roomSize();
    room_->say("CAT", "!MYSCORE");
    return room_->waitFor(mark, E2eSession::botSays("<b>Your Score Is Zero</b>", "CAT")).has_value();
}

bool TestOperator::startGame() {
    const int mark = room_->roomSize();
    room_->say("ANNA", "!START HISTORY");
    return room_->waitFor(mark, isQuestion).has_value();
}

// "&Cancel" is in the File menu only while the program is in the tray: its mnemonic closes the
// menu then, and is no item's otherwise. That the menu stays open can only be seen by waiting.
bool TestOperator::cancelClosesMenu(bool expected) {
    if (!room_->operatorMenu({"c"}))
        return false;
    const auto closed = [this] { return !room_->menuOpen(); };
    const bool closes = XvfbDisplay::poll(closed, expected ? 10000 : 1000);
    if (!closes) {
        room_->display().keys({"Escape"});
        XvfbDisplay::poll(closed, 5000);
    }
    return closes == expected;
}

void TestOperator::trayRoundTrip() {
    // "&Send To Tray". The private X server has no notification area, so the window must stay
    // within reach, minimized instead of hidden; with no window manager either, nothing on the
    // server shows the minimizing, and the window's own menu tells the state.
    QVERIFY(room_->operatorMenu({"s"}));
    QVERIFY(room_->display().isViewable(room_->triviaWindow()));
    QVERIFY(cancelClosesMenu(true));
    QVERIFY2(botAnswers(), room_->dump());

    QVERIFY(room_->operatorMenu({"s"})); // "&Show"
    QVERIFY(cancelClosesMenu(false));
}

void TestOperator::secondCopyIsRefused() {
    // The refusal is a message box titled like the main window; OK ends that copy, and the
    // first one goes on.
    QProcess second;
    room_->launchTrivia(second);
    QVERIFY(second.waitForStarted());
    quint64 box = 0;
    QVERIFY(XvfbDisplay::poll(
        [&] {
            for (const quint64 window : room_->display().windows(E2eSession::TriviaTitle))
                box = window != room_->triviaWindow() ? window : box;
            return box != 0;
        },
        30000));
    QVERIFY(room_->display().focus(box) && room_->display().keys({"Return"}));
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(botAnswers(), room_->dump());
}

void TestOperator::editorDuringGame() {
    const int mark = room_->roomSize();
    QVERIFY2(startGame(), room_->dump(mark));
    QVERIFY(room_->operatorMenu({"a"})); // "&Add Categories/Questions"
    const XvfbDisplay& display = room_->display();
    const quint64 editor = display.waitForWindow("Add Categories / Questions");
    QVERIFY(editor != 0 && display.focus(editor));
    // Tab order: category box (the remembered ART), Delete, new category, its button,
    // question, answer, Add.
    QVERIFY(display.keys({"Tab", "Tab", "Tab", "Tab"}) && display.type(" what colour is the sky? "));
    QVERIFY(display.keys({"Tab"}) && display.type("blue") && display.keys({"Tab", "space"}));

    TriviaDatabase db(room_->programFolder());
    TriviaDatabase::Pair pair;
    QTRY_COMPARE_WITH_TIMEOUT(db.findPairByQuestion("ART", "WHAT COLOUR IS THE SKY?", &pair), DbStatus::Ok,
                              10000);
    QCOMPARE(pair.answer, QStringLiteral("BLUE"));

    // The game went on meanwhile and goes on after.
    const int after = room_->roomSize();
    QVERIFY2(room_->waitFor(after, isQuestion), room_->dump(mark));
    room_->say("ANNA", "!QUIT");
    QVERIFY2(room_->waitFor(after, E2eSession::botSays("[Trivia Ended By ANNA]")), room_->dump(mark));
}

void TestOperator::exitDuringGame() {
    const int mark = room_->roomSize();
    QVERIFY2(startGame(), room_->dump(mark));
    // "&Edit Scores" shares the mnemonic: the first e moves to "&Exit Trivia", Return runs it.
    QVERIFY(room_->operatorMenu({"e", "Return"}));
    QVERIFY2(room_->waitFor(mark, E2eSession::botSays("[Trivia Ended]")), room_->dump(mark));
    QVERIFY(room_->trivia().waitForFinished(30000));
    QCOMPARE(room_->trivia().exitStatus(), QProcess::NormalExit);
    QCOMPARE(room_->trivia().exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestOperator)
#include "tst_operator.moc"
