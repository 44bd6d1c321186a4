#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Record = RoomTranscript::Record;

// The operator at the keyboard of the running bot: the tray round trip, the category editor
// while a game runs, and leaving the program in the middle of a game. The menu is driven the way
// a person without a mouse does: alt+f, then an item's mnemonic.
class TestOperator : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void trayRoundTrip();
    void editorDuringGame();
    void exitDuringGame();
    void cleanupTestCase();

private:
    const RoomTranscript& room() const { return session_->transcript(); }
    QString roomSince(int mark) const { return room().dump(mark); }
    bool await(int from, const RoomTranscript::Match& match, Record* out = nullptr,
               int* index = nullptr) const;
    bool botAnswers(const QString& nick);
    bool startGame();
    bool menuStaysOpenAfter(const QString& key);

    std::unique_ptr<E2eSession> session_;
};

namespace {

constexpr int kReplyMs = 30000;

const QByteArray kQuestions = "category\tquestion\tanswer\n"
                              "History\tWho was the first emperor of Rome?\tAugustus\n"
                              "History\tIn which year did the Berlin Wall fall?\t1989\n"
                              "Art\tWho painted the Mona Lisa?\tLeonardo\n";

const char* const kEditorTitle = "Add Categories / Questions";

bool isQuestion(const Record& r) {
    return r.from == QLatin1String(E2eSession::BotNick) && r.text.endsWith(QLatin1Char('?'));
}

} // namespace

void TestOperator::initTestCase() {
    const QString why = E2eSession::cannotRun();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    session_ = std::make_unique<E2eSession>();
    QVERIFY2(session_->prepareProgramFolder(kQuestions, {}, {QStringLiteral("ANNA")}),
             qPrintable(session_->error()));
    session_->writeSettings({4, 2, false, QStringLiteral("ART")});
    QVERIFY2(session_->start({QStringLiteral("ANNA")}), qPrintable(session_->error()));
}

bool TestOperator::await(int from, const RoomTranscript::Match& match, Record* out, int* index) const {
    const auto found = room().waitFor(from, match, kReplyMs, index);
    if (found && out)
        *out = *found;
    return found.has_value();
}

bool TestOperator::botAnswers(const QString& nick) {
    const int mark = room().size();
    session_->say(nick, QStringLiteral("!MYSCORE"));
    return await(mark, E2eSession::privateReply(nick, QStringLiteral("<b>Your Score Is Zero</b>")));
}

bool TestOperator::startGame() {
    const int mark = room().size();
    session_->say(QStringLiteral("ANNA"), QStringLiteral("!START HISTORY"));
    return await(mark, isQuestion);
}

// With the File menu open, a key that is no visible item's mnemonic leaves it open; the
// mnemonic of an item runs the item and closes the menu. The open menu is a second viewable
// window of the main window's title.
bool TestOperator::menuStaysOpenAfter(const QString& key) {
    const XvfbDisplay& display = session_->display();
    const QString title = QLatin1String(E2eSession::TriviaTitle);
    if (!session_->operatorMenu({key}))
        return false;
    QTest::qWait(500);
    const bool open = display.countViewable(title) > 1;
    if (open)
        display.keys({QStringLiteral("Escape")});
    const QDeadlineTimer deadline(5000);
    while (display.countViewable(title) > 1 && !deadline.hasExpired())
        QTest::qWait(50);
    return open;
}

void TestOperator::trayRoundTrip() {
    const XvfbDisplay& display = session_->display();
    const quint64 window = session_->triviaWindow();
    QVERIFY(menuStaysOpenAfter(QStringLiteral("c"))); // no "&Cancel" while the window is shown

    // "&Send To Tray". The private X server has no notification area, so the window is
    // minimized instead of hidden; with no window manager either, nothing on the server shows
    // that, and the window's own menu tells the state: "&Cancel" is there now.
    QVERIFY(session_->operatorMenu({QStringLiteral("s")}));
    QVERIFY(display.isViewable(window));
    QVERIFY(!menuStaysOpenAfter(QStringLiteral("c")));
    QVERIFY2(botAnswers(QStringLiteral("CAT")), qPrintable(roomSince(0)));

    QVERIFY(session_->operatorMenu({QStringLiteral("s")})); // "&Show"
    QVERIFY(menuStaysOpenAfter(QStringLiteral("c")));
    QVERIFY(display.isViewable(window));
    QVERIFY2(botAnswers(QStringLiteral("CAT")), qPrintable(roomSince(0)));
}

void TestOperator::editorDuringGame() {
    const int mark = room().size();
    QVERIFY2(startGame(), qPrintable(roomSince(mark)));
    QVERIFY(session_->operatorMenu({QStringLiteral("a")})); // "&Add Categories/Questions"
    const quint64 editor = session_->display().waitForWindow(QLatin1String(kEditorTitle), 30000);
    QVERIFY(editor != 0);
    QVERIFY(session_->display().focus(editor));
    // Tab order: category box, Delete, new category, its button, question, answer, Add.
    QVERIFY(session_->display().keys({"Tab", "Tab", "Tab", "Tab"}));
    QVERIFY(session_->display().type(QStringLiteral(" what colour is the sky? ")));
    QVERIFY(session_->display().keys({"Tab"}));
    QVERIFY(session_->display().type(QStringLiteral("blue")));
    QVERIFY(session_->display().keys({"Tab", "space"}));

    TriviaDatabase db(session_->programFolder());
    TriviaDatabase::Pair pair;
    QTRY_COMPARE_WITH_TIMEOUT(
        db.findPairByQuestion(QStringLiteral("ART"), QStringLiteral("WHAT COLOUR IS THE SKY?"), &pair),
        DbStatus::Ok, 10000);
    QCOMPARE(pair.answer, QStringLiteral("BLUE"));

    // The game went on meanwhile and goes on after.
    const int after = room().size();
    QVERIFY2(await(after, isQuestion), qPrintable(roomSince(mark)));
    session_->say(QStringLiteral("ANNA"), QStringLiteral("!QUIT"));
    QVERIFY2(await(after, E2eSession::botSays(QStringLiteral("[Trivia Ended By ANNA]"))),
             qPrintable(roomSince(mark)));
}

void TestOperator::exitDuringGame() {
    const int mark = room().size();
    QVERIFY2(startGame(), qPrintable(roomSince(mark)));
    // "&Edit Scores" shares the mnemonic: the first e moves to "&Exit Trivia", Return runs it.
    QVERIFY(session_->operatorMenu({QStringLiteral("e"), QStringLiteral("Return")}));
    QVERIFY2(await(mark, E2eSession::botSays(QStringLiteral("[Trivia Ended]"))), qPrintable(roomSince(mark)));
    QVERIFY(session_->waitForTriviaEnd(30000));
    QCOMPARE(session_->trivia().exitStatus(), QProcess::NormalExit);
    QCOMPARE(session_->trivia().exitCode(), 0);
}

void TestOperator::cleanupTestCase() {
    session_.reset();
}

QTEST_GUILESS_MAIN(TestOperator)
#include "tst_operator.moc"
