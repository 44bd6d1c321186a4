#include "chat/ChatReader.h"
#include "chat/QuestionCycle.h"
#include "chat/RoomLine.h"
#include "tests/chat/LinkRig.h"

#include <QtTest>

#include <cstring>

using namespace palvuro;

namespace {

// The reader on a connected fake desktop, with every command hand-off recorded.
struct ReaderRig : LinkRig {
    explicit ReaderRig(int wrap = 80) : LinkRig(wrap) {
        link.startReading("TriviaBot");
        reader.setCommandHandler([this](const RoomLine& line) { commands.append(line.text()); });
        reader.setAnswerHandler([this](const QString& nick) { cycle.scoreCorrectAnswer(nick); });
        desk.clearLog();
    }
    QString read() { return reader.getNewChatText(); }

    QuestionCycle cycle{session, link, clocks, {}};
    ChatReader reader{session, desk.api(), link};
    QStringList commands;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr int kLongRun = 20000; // the same paths, at a pace the sanitizers can keep
#else
constexpr int kLongRun = 100000;
#endif

// Long enough to wrap over several rows at the widths tested.
const QString kAnswer = QStringLiteral("THE LONG ANSWER THAT NO WINDOW SHOWS ON ONE OF ITS ROWS ANYWAY");

} // namespace

class TestChatReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void walk() {
        ReaderRig rig(20);
        QCOMPARE(rig.read(), QString()); // nothing new since the connect
        rig.desk.say("ANNA", "one");
        rig.desk.say("BOB", "two");
        QCOMPARE(rig.read(), QString("ANNA  : one BOB  : two ")); // oldest first, nothing between
        rig.desk.say("CAT", "a message long enough to wrap twice");
        QCOMPARE(rig.read(), QString("CAT  : a message long enough to wrap twice "));
        // What the code page lacks crosses as Windows' best fit, else "?".
        rig.desk.say("Łukasz", "ā α Ω ł ✓ 😀 中");
        QCOMPARE(rig.read(), QString("Lukasz  : a a O l ? ?? ? "));

        // Empty lines are passed over, also when one is the only new line.
        rig.desk.room().text().appendParagraph(QString());
        QCOMPARE(rig.read(), QString());
        rig.desk.room().text().appendParagraph(QString());
        rig.desk.say("DAN", "after");
        QCOMPARE(rig.read(), QString("DAN  : after "));

        // A window that shrank (cleared, or its oldest lines dropped) is the long run's case below.

        for (int round = 1; round <= 2; ++round) {
            rig.desk.say("ANNA", "!top");
            rig.reader.readNewText();
            rig.desk.say("ANNA", "!top"); // the same text in the next tick is not handled again
            rig.reader.readNewText();
            rig.reader.readNewText(); // nothing new: LastText becomes empty, the next one counts
            QCOMPARE(rig.commands, QStringList(round, QString("ANNA  : !TOP ")));
        }
    }

    // Another chatter speaks while the reader walks back over three new lines: all three come
    // once, in order, and the late line in the next tick.
    void lineAppendedMidWalkIsNotLost() {
        struct AppendingApi : LocalWindowApi {
            using LocalWindowApi::LocalWindowApi;
            LResult sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override {
                if (msg == wm::GetLine && --untilAppend == 0)
                    append();
                return LocalWindowApi::sendMessage(hwnd, msg, wParam, lParam);
            }
            int untilAppend = 0;
            std::function<void()> append;
        };
        ReaderRig rig;
        AppendingApi api(rig.desk.registry());
        ChatLink link(api, rig.clocks);
        QVERIFY(link.findChatMainWindow() && link.locateChatRoom());
        ChatReader reader(rig.session, api, link);
        reader.startFrom(rig.reader.lastLineIndex());
        api.append = [&] { rig.desk.say("DAN", "late"); };
        api.untilAppend = 1;
        for (const char* nick : {"ANNA", "BOB", "CAT"})
            rig.desk.say(nick, "hi");
        QCOMPARE(reader.getNewChatText(), QString("ANNA  : hi BOB  : hi CAT  : hi "));
        QCOMPARE(reader.getNewChatText(), QString("DAN  : late "));
    }

    void hostileLinesNeitherCrashNorStall() {
        const QString huge = "!START " + QString(100000, 'X'); // wrapped, and in one row
        const QList<std::pair<int, QString>> lines = {
            {80, huge}, {0, huge}, {80, QString::fromLatin1("!\x01\x02\x7f\t\x1b[0m")}, {80, "!漢字 😀 ∑"}};
        for (const auto& [wrap, message] : lines) {
            ReaderRig rig(wrap);
            rig.desk.say("ANNA", message);
            rig.reader.readNewText();
            QVERIFY(!rig.reader.lastText().isEmpty());
            QCOMPARE(rig.commands.size(),
                     message.size() > ChatReader::MaxTextLength ? 0 : 1); // too long: passed over
            rig.desk.say("BOB", "!TOP");
            rig.reader.readNewText();
            QCOMPARE(rig.commands.last(), QString("BOB  : !TOP "));
        }
    }

    // A line the window keeps failing to hand over is given up, with a warning, so that the
    // room's later lines still reach the bot.
    void unreadableLineIsGivenUpWithAWarning() {
        ReaderRig rig;
        std::int32_t rows = 2; // one new line, then the empty last one
        bool readable = false;
        rig.reader.startFrom(-1);
        rig.desk.registry().setProc(rig.link.textWindow(),
                                    [&](std::uint32_t msg, WParam, LParam lParam) -> LResult {
                                        if (msg == wm::GetLineCount)
                                            return rows;
                                        if (msg == wm::LineLength)
                                            return 4;
                                        if (msg == wm::GetLine && readable)
                                            std::memcpy(reinterpret_cast<char*>(lParam), "ANNA", 4);
                                        return msg == wm::GetLine && readable ? 4 : 0;
                                    });
        QTest::ignoreMessage(QtWarningMsg,
                             "gave up on the room's unread lines up to line 0 after 100 failed reads");
        for (int i = 0; i < ChatReader::FailedReadLimit; ++i)
            QCOMPARE(rig.read(), QString());
        QCOMPARE(rig.reader.lastLineIndex(), 0);
        readable = true;
        rows = 3;
        QCOMPARE(rig.read(), QString("ANNA"));
    }

    // Only the whole message, said by another chatter, scores; the case does not matter. The
    // bot's own line is the fuzz seed botnick's case.
    void answerCheck() {
        ReaderRig rig;
        rig.session.start(std::make_unique<TriviaDatabase>(rig.dir.path()), "HISTORY");
        rig.session.openQuestion("Where is Broadway?", "NEW YORK");
        for (auto [nick, message] :
             {std::pair{"BOB", "is it new york or"}, {"BOB", "new york "}, {"A:", "new york"}}) {
            rig.desk.say(nick, message);
            rig.reader.readNewText();
            QVERIFY2(rig.botLines().isEmpty() && rig.session.questionOpen() && !rig.pause.isEnabled(),
                     message);
        }
        rig.desk.say("bob", "New York"); // the announcement's text: the game suites
        rig.reader.readNewText();
        QVERIFY(rig.botLines().size() == 1 && !rig.session.questionOpen() && rig.pause.isEnabled());
    }

    void takenApart_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<int>("bangPos");
        QTest::addColumn<bool>("command");
        QTest::addColumn<int>("exactLength"); // the one length that passes the length test
        const auto row = [](const char* tag, const char* text, const char* nick, int bangPos, bool command,
                            int exactLength) {
            QTest::newRow(tag) << QString(text) << QString(nick) << bangPos << command << exactLength;
        };
        row("command", "Bob  : !top ", "BOB", 8, true, 4);
        row("colon in the message", "BOB  : A:B ", "BOB", 0, false, 3);
        row("one-letter nick", "A  : X ", "A", 0, false, 1);
        row("no separator", "AB: X", "", 0, false, 1);
        row("private line", "/msg bob  : !HI ", "", 13, true, 3);
        row("private marker inside", "X/MSG Y  : HI ", "", 0, false, 2);
        row("bang before the separator", "A!B  : !Q ", "A!B", 2, false, 2);
        row("only the first separator counts", "A  : B  : !Q ", "A", 11, true, 7);
        row("empty", "", "", 0, false, -2);
    }
    void takenApart() {
        QFETCH(QString, text);
        QFETCH(QString, nick);
        QFETCH(int, bangPos);
        QFETCH(bool, command);
        QFETCH(int, exactLength);
        const RoomLine line(text);
        QCOMPARE(line.text(), text.toUpper());
        QCOMPARE(line.nick(), nick);
        QCOMPARE(line.bangPos(), bangPos);
        QCOMPARE(line.isCommand(), command);
        for (int length = 0; length < 10; ++length)
            QCOMPARE(line.passesLengthTest(length), length == exactLength);
    }

    // A channel's window keeps a bounded number of lines while the bot reads it: lines come one per
    // look of the reader, as the channel's pacing brings them, and every command and every answer
    // of a long run reaches the bot whole, also those shown just as the oldest lines are dropped.
    void everyCommandAndAnswerReachesTheBot_data() {
        QTest::addColumn<int>("wrap");
        QTest::addColumn<int>("keep");
        QTest::addColumn<int>("lines");
        QTest::newRow("unwrapped") << 0 << 1000 << kLongRun;
        QTest::newRow("wrapped") << 24 << 1000 << kLongRun;
        QTest::newRow("smallest window") << 24 << 2 << 3000;
    }

    void everyCommandAndAnswerReachesTheBot() {
        QFETCH(int, wrap);
        QFETCH(int, keep);
        QFETCH(int, lines);
        ReaderRig rig(wrap);
        rig.desk.room().setKeepLines(keep);
        QStringList scorers;
        rig.reader.setAnswerHandler([&](const QString& nick) {
            scorers << nick;
            rig.session.openQuestion(QStringLiteral("Q"), kAnswer);
        });
        rig.session.openQuestion(QStringLiteral("Q"), kAnswer);

        ChatRoom& room = rig.desk.room();
        QStringList expectedCommands;
        QStringList expectedScorers;
        const QString filler = QStringLiteral("a chatter's long line that wraps ").repeated(3);
        qsizetype longestText = 0;
        for (int i = 0; i < lines; ++i) {
            const QString n = QString::number(i);
            switch (i % 6) {
            case 0:
                room.hear("ANNA", "!getuserscore P" + n);
                expectedCommands << "ANNA  : !GETUSERSCORE P" + n + ' ';
                break;
            case 1:
                room.hear("C" + n, filler + n);
                break;
            case 2:
                room.hear("P" + n, kAnswer.toLower());
                expectedScorers << "P" + n;
                break;
            case 3:
                // Two lines at once, the second alone a command: only whole is this line right.
                room.say("TriviaBot", "Is Correct P" + n + "\r\nEVE  : !q");
                expectedCommands << "TRIVIABOT  : IS CORRECT P" + n + "EVE  : !Q ";
                break;
            case 4:
                room.hear("BOB", "!start " + filler.toUpper().remove(' ') + n);
                expectedCommands << "BOB  : !START " + filler.toUpper().remove(' ') + n + ' ';
                break;
            default:
                room.report("CAT has left the room");
            }
            rig.reader.readNewText();
            QVERIFY2(room.text().lineCount() <= keep + 1, qPrintable(QString::number(i)));
            longestText = std::max<qsizetype>(longestText, room.text().textLength());
        }
        for (qsizetype i = 0; i < std::min(rig.commands.size(), expectedCommands.size()); ++i)
            QCOMPARE(rig.commands[i], expectedCommands[i]);
        QCOMPARE(rig.commands.size(), expectedCommands.size());
        QCOMPARE(scorers, expectedScorers);
        // Each kept line is at most a few hundred characters: the text stays that size however
        // long the run.
        QVERIFY2(longestText <= std::int64_t{keep} * 200, qPrintable(QString::number(longestText)));
    }
};

QTEST_GUILESS_MAIN(TestChatReader)
#include "tst_chatreader.moc"
