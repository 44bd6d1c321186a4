#include "chat/ChatLink.h"
#include "chat/ChatReader.h"
#include "chat/TimerSwitch.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QtTest>

#include <memory>

using namespace palvuro;

namespace {

// The reader on a connected fake desktop, with every command hand-off recorded.
struct ReaderRig {
    explicit ReaderRig(int wrap = 80) : desk("TriviaBot", wrap), link(state, desk.api(), pump, getText) {
        link.findChatMainWindow();
        link.locateChatRoom();
        link.startReading("TriviaBot");
        reader.setCommandHandler([this](const QString& text, int bang) { commands.append({text, bang}); });
    }
    QString read() { return reader.getNewChatText(); }

    FakeDesktop desk;
    EngineState state;
    ManualEventPump pump;
    FlagTimerSwitch getText;
    FlagTimerSwitch pause;
    ChatLink link;
    ChatReader reader{state, desk.api(), link, pause};
    QList<QPair<QString, int>> commands;
};

} // namespace

class TestChatReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void walk();
    void lineThatNeverReadsIsGivenUp();
    void lastTextSuppressesRepeats();
    void commandCheck_data();
    void commandCheck();
    void hostileLinesNeitherCrashNorStall_data();
    void hostileLinesNeitherCrashNorStall();
    void answerCheck_data();
    void answerCheck();
    void scoreStoredBeforeAnnounced();
    void failedScoreStillClosesQuestion();
};

void TestChatReader::walk() {
    ReaderRig rig(20);
    QCOMPARE(rig.read(), QString()); // nothing new since the connect

    rig.desk.say("ANNA", "one");
    rig.desk.say("BOB", "two");
    QCOMPARE(rig.read(), QString("ANNA  : one BOB  : two ")); // oldest first, nothing between

    rig.desk.say("CAT", "a message long enough to wrap twice");
    QCOMPARE(rig.read(), QString("CAT  : a message long enough to wrap twice "));

    // An empty line in the window is passed over, also when it is the only new line.
    rig.desk.room().text().appendParagraph(QString());
    QCOMPARE(rig.read(), QString());
    rig.desk.room().text().appendParagraph(QString());
    rig.desk.say("DAN", "after");
    QCOMPARE(rig.read(), QString("DAN  : after "));

    // The window was cleared and refilled: only the newest line is read.
    rig.desk.room().text().clear();
    rig.desk.say("EVE", "old");
    rig.desk.say("FAY", "new");
    QCOMPARE(rig.read(), QString("FAY  : new "));
    rig.desk.say("GUS", "next");
    QCOMPARE(rig.read(), QString("GUS  : next "));
}

void TestChatReader::lineThatNeverReadsIsGivenUp() {
    ReaderRig rig;
    std::int32_t count = 3;
    const Hwnd broken = rig.desk.registry().create(0, "Broken", {}, [&](std::uint32_t msg, WParam, LParam) {
        return msg == wm::GetLineCount ? LResult{count} : LResult{-1};
    });
    rig.state.chatTextWindow = broken;
    rig.state.lastLineIndex = 0;
    for (int i = 1; i < ChatReader::FailedReadLimit; ++i)
        QCOMPARE(rig.read(), QString());
    QCOMPARE(rig.state.lastLineIndex, 0); // retried every tick so far
    rig.read();
    QCOMPARE(rig.state.lastLineIndex, 1); // then given up as read
    count = 0;                            // a failed line count changes nothing
    QCOMPARE(rig.read(), QString());
    QCOMPARE(rig.state.lastLineIndex, 1);
}

void TestChatReader::lastTextSuppressesRepeats() {
    ReaderRig rig;
    rig.desk.say("ANNA", "!TOP");
    rig.reader.readNewText();
    QCOMPARE(rig.state.lastText, QString("ANNA  : !TOP "));
    rig.desk.say("ANNA", "!TOP"); // the same text in the next tick is not handled again
    rig.reader.readNewText();
    QCOMPARE(rig.commands.size(), 1);
    rig.reader.readNewText(); // nothing new: LastText becomes empty
    QCOMPARE(rig.state.lastText, QString());
    rig.desk.say("ANNA", "!TOP");
    rig.reader.readNewText();
    QCOMPARE(rig.commands.size(), 2);
}

void TestChatReader::commandCheck_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("bangPos"); // 0: not handed on
    QTest::newRow("command, upper-cased") << "!start history" << 9;
    QTest::newRow("bang inside a word") << "wow! great" << 0;
    QTest::newRow("only the first bang counts") << "hi !TOP" << 0;
    QTest::newRow("no bang") << "hello" << 0;
}

void TestChatReader::commandCheck() {
    QFETCH(QString, message);
    QFETCH(int, bangPos);
    ReaderRig rig;
    rig.desk.say("ANNA", message);
    rig.reader.readNewText();
    if (bangPos == 0) {
        QVERIFY(rig.commands.isEmpty());
        return;
    }
    QCOMPARE(rig.commands.size(), 1);
    QCOMPARE(rig.commands[0].first, ("ANNA  : " + message + " ").toUpper());
    QCOMPARE(rig.commands[0].second, bangPos);
}

void TestChatReader::hostileLinesNeitherCrashNorStall_data() {
    QTest::addColumn<int>("wrap");
    QTest::addColumn<QString>("message");
    const QString huge = "!START " + QString(100000, 'X');
    QTest::newRow("100,000 characters, wrapped") << 80 << huge;
    QTest::newRow("100,000 characters, one row") << 0 << huge;
    QTest::newRow("32,800 characters") << 0 << QString(32800, '!');
    QTest::newRow("control bytes") << 80 << QString::fromLatin1("!\x01\x02\x7f\t\x1b[0m");
    QTest::newRow("outside the code page") << 80 << QString::fromUtf8("!漢字 😀 ∑");
}

void TestChatReader::hostileLinesNeitherCrashNorStall() {
    QFETCH(int, wrap);
    QFETCH(QString, message);
    ReaderRig rig(wrap);
    rig.desk.say("ANNA", message);
    rig.reader.readNewText();
    QVERIFY(!rig.state.lastText.isEmpty());
    if (message.size() > ChatReader::MaxTextLength)
        QVERIFY(rig.commands.isEmpty()); // too long to be a command: passed over
    rig.commands.clear();
    rig.desk.say("BOB", "!TOP");
    rig.reader.readNewText();
    QCOMPARE(rig.commands.size(), 1);
    QCOMPARE(rig.commands[0].first, QString("BOB  : !TOP "));
}

void TestChatReader::answerCheck_data() {
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("scores");
    QTest::newRow("exact") << "BOB"
                           << "Paris" << true;
    QTest::newRow("answer with spaces") << "BOB"
                                        << "new york" << false; // answer is PARIS
    QTest::newRow("inside a longer message") << "BOB"
                                             << "is it paris or" << false;
    QTest::newRow("two trailing blanks") << "BOB"
                                         << "paris " << false;
    QTest::newRow("the bot itself") << "TriviaBot"
                                    << "PARIS" << false;
    QTest::newRow("nick too short") << "A"
                                    << "paris" << true;
    QTest::newRow("nick with colon") << "A:"
                                     << "paris" << false;
}

void TestChatReader::answerCheck() {
    QFETCH(QString, nick);
    QFETCH(QString, message);
    QFETCH(bool, scores);
    ReaderRig rig;
    rig.state.questionActive = true;
    rig.state.gameRunning = true;
    rig.state.currentAnswer = "PARIS";
    rig.desk.say(nick, message);
    rig.reader.readNewText();
    QCOMPARE(!rig.state.questionActive, scores);
    QCOMPARE(rig.pause.isEnabled(), scores);
}

void TestChatReader::scoreStoredBeforeAnnounced() {
    QTemporaryDir dir;
    ReaderRig rig;
    rig.state.triviaConnection = std::make_unique<TriviaDatabase>(dir.path());
    QCOMPARE(rig.state.triviaConnection->open(), DbStatus::Ok);
    qint64 points = 0;
    for (int i = 0; i < 4; ++i)
        rig.state.triviaConnection->scoreCorrectAnswer("BOB", &points);
    rig.state.questionActive = true;
    rig.state.gameRunning = true;
    rig.state.currentAnswer = "NEW YORK";
    rig.state.nextQuestionSecs = 40;

    std::optional<qint64> storedWhenSaid;
    QObject::connect(&rig.desk.room(), &ChatRoom::roomLine, [&](const QString&, const QString& text) {
        if (text.contains("Is Correct"))
            TriviaDatabase(dir.path()).lookupScore("BOB", &storedWhenSaid);
    });
    rig.desk.say("bob", "New York");
    rig.reader.readNewText();
    QCOMPARE(rig.desk.linesBy("TriviaBot").last(),
             QString("(*)BOB (*) Is Correct, Your Score Is [ 5 ]\r\n40 Seconds Until Next Question."));
    QCOMPARE(storedWhenSaid, std::optional<qint64>(5));
    QVERIFY(!rig.state.questionActive);
    QVERIFY(rig.pause.isEnabled());

    rig.desk.say("ANNA", "new york"); // the question is closed: no second score
    rig.reader.readNewText();
    std::optional<qint64> anna;
    TriviaDatabase(dir.path()).lookupScore("ANNA", &anna);
    QCOMPARE(anna, std::nullopt);
}

void TestChatReader::failedScoreStillClosesQuestion() {
    ReaderRig rig; // no game connection: the update cannot be made
    rig.state.questionActive = true;
    rig.state.gameRunning = true;
    rig.state.currentAnswer = "PARIS";
    rig.state.nextQuestionSecs = 0; // never waits for nothing
    rig.desk.say("BOB", "paris");
    rig.reader.readNewText();
    QCOMPARE(
        rig.desk.linesBy("TriviaBot").last(),
        QString("(*)BOB (*) Is Correct, But The Score Could Not Be Saved\r\n1 Seconds Until Next Question."));
    QVERIFY(!rig.state.questionActive);
    QVERIFY(rig.pause.isEnabled());
}

QTEST_GUILESS_MAIN(TestChatReader)
#include "tst_chatreader.moc"
