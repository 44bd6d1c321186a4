#include "chatclient/ChatWindow.h"
#include "chatclient/RichEditText.h"
#include "chatclient/ScriptLine.h"
#include "chatclient/ScriptRunner.h"
#include "chatclient/Transcript.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ProgramRun.h"

#include <QSignalSpy>
#include <QtTest>
#include <QtWidgets>

using namespace palvuro;

// The client's room: its windows as the bot sees them, its text control, its window on screen,
// and room scripts: their lines, their run in this process, and palvuro-chat run as a program. How
// the bot drives the client over the desktop bus is proved by the end-to-end games.

namespace {

// Every row of a text as "start,length:text with its mark", the final empty row included.
QString describeRows(const RichEditText& text) {
    QStringList rows;
    for (std::int32_t line = 0; line < text.lineCount(); ++line) {
        const std::int32_t start = text.lineIndex(line);
        rows << QStringLiteral("%1,%2:").arg(start).arg(text.lineLength(start)) + text.lineWithMark(line);
    }
    return rows.join(QLatin1Char('|'));
}

} // namespace

class TestChatRoom : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Private messages themselves run through every command suite: here how one shows, and a
    // "/msg" without a nick, which is an ordinary line.
    void privateMessage() {
        FakeDesktop desk(QStringLiteral("TriviaBot"), 0);
        desk.say(QStringLiteral("TriviaBot"), QStringLiteral("/msg ANNA <b>Your Score: 3</b>"));
        desk.say(QStringLiteral("ANNA"), QStringLiteral("/msg"));
        QCOMPARE(desk.privateTexts(), QStringList{"ANNA <b>Your Score: 3</b>"});
        QCOMPARE(desk.room().text().lineWithMark(0), QStringLiteral("/msg ANNA  : <b>Your Score: 3</b> \r"));
        QCOMPARE(desk.room().text().lineWithMark(1), QStringLiteral("ANNA  : /msg \r"));
    }

    void notifyOffSilencesJoinAndLeave() {
        FakeDesktop desk;
        ChatRoom& room = desk.room();
        const auto click = [&] {
            desk.api().postMessage(room.sendButton(), wm::LButtonDown, 0, 0);
            desk.api().postMessage(room.sendButton(), wm::LButtonUp, 0, 0);
            QCoreApplication::processEvents();
        };
        QSignalSpy notices(&room, &ChatRoom::notice);
        room.join(QStringLiteral("ANNA"));
        const std::int32_t rows = room.text().lineCount();
        room.setInputText(QStringLiteral("/notifyoff"));
        click();
        QCOMPARE(room.inputText(), QString());
        click(); // an empty box says nothing
        room.join(QStringLiteral("BOB"));
        room.leave(QStringLiteral("ANNA"));
        QCOMPARE(notices.count(), 1);
        QCOMPARE(room.text().lineCount(), rows); // the command itself is not shown either
        QCOMPARE(room.members(), (QStringList{"TriviaBot", "BOB"}));
    }

    void rows_data() {
        QTest::addColumn<int>("wrap");
        QTest::addColumn<QStringList>("paragraphs");
        QTest::addColumn<QString>("rows");
        QTest::newRow("CR LF, CR and LF each make one mark")
            << 0 << QStringList{"a\r\nbb\rc\nd"} << QString("0,1:a\r|2,2:bb\r|5,1:c\r|7,1:d\r|9,0:\r");
        QTest::newRow("wrapped at the column, mark on the last row")
            << 4 << QStringList{"abcdefghij", "xy"}
            << QString("0,4:abcd|4,4:efgh|8,2:ij\r|11,2:xy\r|14,0:\r");
        QTest::newRow("paragraph exactly the column wide keeps its mark")
            << 4 << QStringList{"abcdefgh"} << QString("0,4:abcd|4,4:efgh\r|9,0:\r");
        QTest::newRow("a cut never splits a surrogate pair")
            << 2
            << QStringList{QString::fromUtf8("a\xF0\x9F\x98\x80"
                                             "b")}
            << QString::fromUtf8("0,1:a|1,2:\xF0\x9F\x98\x80|3,1:b\r|5,0:\r");
    }
    void rows() {
        QFETCH(int, wrap);
        QFETCH(QStringList, paragraphs);
        QFETCH(QString, rows);
        RichEditText text(wrap);
        for (const QString& p : paragraphs)
            text.appendParagraph(p);
        QCOMPARE(describeRows(text), rows);
    }

    // Every change of what the line messages answer is announced: the bus keeps answers until then.
    void lineMessagesOutsideTheTextAndRewrap() {
        RichEditText text(3);
        int changes = 0;
        text.setChangeHandler([&] { ++changes; });
        text.appendParagraph(QStringLiteral("abcdefg"));
        text.appendParagraph(QStringLiteral("hi\r\nj"));
        QCOMPARE(text.lineCount(), 6);
        text.setWrapColumns(0); // paragraphs are kept whole
        QCOMPARE(describeRows(text), QStringLiteral("0,7:abcdefg\r|8,2:hi\r|11,1:j\r|13,0:\r"));
        QCOMPARE(text.plainText(), QStringLiteral("abcdefg\nhi\nj"));
        QCOMPARE(text.lineIndex(-1), 13); // the caret stays at the end
        QCOMPARE(text.lineLength(7), 7);  // the mark belongs to its row
        for (int outside : {-5, 4})
            QCOMPARE(text.lineIndex(outside), -1);
        for (int outside : {-1, 500})
            QCOMPARE(text.lineLength(outside), 0);
        QCOMPARE(text.lineWithMark(4), QString());
        text.clear();
        QCOMPARE(describeRows(text), QStringLiteral("0,0:\r"));
        QCOMPARE(changes, 4);

        std::vector<Hwnd> announced; // hears the windows' end too, so it outlives them
        FakeDesktop desk(QStringLiteral("TriviaBot"), 0);
        desk.registry().setChangeListener([&](Hwnd hwnd) { announced.push_back(hwnd); });
        desk.say(QStringLiteral("ANNA"), QStringLiteral("hi"));
        QCOMPARE(announced, std::vector<Hwnd>{desk.room().textWindow()});
    }

    // The transcript of a client that runs for weeks: the newest records in FILE, those before
    // in FILE.1, nothing older kept.
    void transcriptRotatesAtItsLimit() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("room.tsv"));
        {
            Transcript transcript;
            QVERIFY(transcript.open(path, nullptr));
            transcript.setSizeLimit(100);
            for (int i = 0; i < 13; ++i)
                transcript.record(QStringLiteral("say"), QStringLiteral("ANNA"), {},
                                  QStringLiteral("line %1").arg(i));
        }
        const auto texts = [](const QString& file) {
            QFile f(file);
            QStringList out;
            if (f.open(QIODevice::ReadOnly))
                for (const QByteArray& line : f.readAll().split('\n'))
                    if (!line.isEmpty())
                        out << QString::fromUtf8(line.split('\t').last());
            return out;
        };
        const QStringList kept = texts(path + QStringLiteral(".1")) + texts(path);
        QVERIFY2(kept.size() > 5 && kept.size() < 13, qPrintable(kept.join(',')));
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(kept[i], QStringLiteral("line %1").arg(13 - kept.size() + i));
        QVERIFY(QFileInfo(path).size() <= 100 && QFileInfo(path + QStringLiteral(".1")).size() <= 100);
    }

    void showsTheRoomAndSpeaksAsThePickedNick() {
        WindowRegistry registry;
        ChatRoom room(registry, QStringLiteral("Guest"));
        room.say(QStringLiteral("ANNA"), QStringLiteral("before the window"));
        ChatWindow window(room);
        auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("roomText"));
        auto* input = window.findChild<QLineEdit*>(QStringLiteral("txtInput"));
        auto* nick = window.findChild<QComboBox*>(QStringLiteral("comboNick"));
        auto* send = window.findChild<QPushButton*>(QStringLiteral("cmdSend"));
        QVERIFY(view && input && nick && send);

        // What the bot puts into the input box shows in the input line.
        room.setInputText(QStringLiteral("from the bot"));
        QCOMPARE(input->text(), QStringLiteral("from the bot"));

        QSignalSpy said(&room, &ChatRoom::roomLine);
        room.join(QStringLiteral("BOB"));
        nick->setCurrentText(QStringLiteral("BOB"));
        input->clear();
        QTest::keyClicks(input, QStringLiteral("hi all"));
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(said.count(), 1);
        QCOMPARE(said.at(0), (QVariantList{"BOB", "hi all"}));
        QCOMPARE(room.inputText(), QString());

        room.say(QStringLiteral("ANNA"), QStringLiteral("two\r\nlines"));
        window.flushPending();
        QCOMPARE(view->toPlainText(), QStringLiteral("ANNA  : before the window \nBOB has joined the room\n"
                                                     "BOB  : hi all \nANNA  : two\nlines "));

        // The view keeps the newest lines, the bot's text window all of them.
        const std::int32_t rows = room.text().lineCount();
        for (int i = 0; i < ChatWindow::kScrollbackLines + 10; ++i)
            room.say(QStringLiteral("ANNA"), QString::number(i));
        window.flushPending();
        QCOMPARE(view->blockCount(), ChatWindow::kScrollbackLines);
        QCOMPARE(view->document()->firstBlock().text(), QStringLiteral("ANNA  : 10 "));
        QCOMPARE(room.text().lineCount(), rows + ChatWindow::kScrollbackLines + 10);
    }

    void parse_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parsed"); // "KIND NICK|TEXT|MS", "!" after it when the line is an error
        QTest::newRow("say keeps the text as typed")
            << "say ANNA  !START  HISTORY " << QString("say ANNA| !START  HISTORY |0");
        QTest::newRow("say without text") << "say ANNA" << QString("none ||0!");
        QTest::newRow("expect with time-out")
            << "expect Is Correct 5000" << QString("expect |Is Correct|5000");
        QTest::newRow("expect: a number alone is the text") << "expect 42" << QString("expect |42|60000");
        QTest::newRow("expect: last word not all digits")
            << "expect Score Is [ 1 ]" << QString("expect |Score Is [ 1 ]|60000");
        QTest::newRow("wait not a number") << "wait 1.5" << QString("none ||0!");
        QTest::newRow("unknown keyword") << "SAY ANNA hi" << QString("none ||0!");
        QTest::newRow("comment") << " # say ANNA hi" << QString("none ||0");
    }
    void parse() {
        QFETCH(QString, line);
        QFETCH(QString, parsed);
        const char* kinds[] = {"none", "say", "wait", "expect", "join", "leave", "quit"};
        QString why;
        const ScriptLine got = ScriptLine::parse(line, &why);
        QCOMPARE(QString("%1 %2|%3|%4%5")
                     .arg(kinds[int(got.kind)], got.nick, got.text)
                     .arg(got.ms)
                     .arg(why.isEmpty() ? "" : "!"),
                 parsed);
    }

    void expectSeesOnlyLaterLines() {
        WindowRegistry registry;
        ChatRoom room(registry, QStringLiteral("Guest"));
        ScriptRunner runner(room, nullptr);
        QSignalSpy quit(&runner, &ScriptRunner::quitRequested);
        // "early" is said before the first expect begins, so that expect fails; the second one is
        // met by a private line that arrives while it waits, long before its time-out. Nothing
        // after the quit is run.
        for (const char* line : {"say ANNA early", "expect early 100", "expect late 60000", "say ANNA done",
                                 "quit", "say ANNA never"})
            runner.addLine(QString::fromLatin1(line));
        QTRY_VERIFY(runner.expectFailed());
        QCOMPARE(quit.count(), 0);
        room.say(QStringLiteral("BOB"), QStringLiteral("/msg ANNA too late"));
        QTRY_COMPARE(quit.count(), 1);
        QVERIFY(room.text().plainText().endsWith(QStringLiteral("too late \nANNA  : done ")));
    }

    // palvuro-chat without a screen, its desktop bus in a temporary folder: a failed expect lets the
    // script go on, its end ends the program, and the status tells of the failure.
    void runScript() {
        if (!ProgramRun::built("palvuro-chat"))
            QSKIP("palvuro-chat is not built");
        QTemporaryDir dir;
        QFile script(dir.filePath(QStringLiteral("script.txt")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("join ANNA\r\nsay ANNA caf\xC3\xA9\tbar \\ x\nnonsense\nsay Guest /msg ANNA hi\n"
                     "expect never 50\nsay BOB after\n");
        script.close();
        const QString transcriptPath = dir.filePath(QStringLiteral("transcript.tsv"));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        QCOMPARE(
            ProgramRun("palvuro-chat", {"--transcript", transcriptPath, "--script", script.fileName()}, env)
                .status,
            3);

        QFile transcript(transcriptPath);
        QVERIFY(transcript.open(QIODevice::ReadOnly));
        // Each record starts with its time in milliseconds, then kind, from, to and text.
        const QRegularExpression time(QStringLiteral("^\\d+\\t"), QRegularExpression::MultilineOption);
        QCOMPARE(
            QString::fromUtf8(transcript.readAll()).remove(time),
            QString::fromUtf8("notice\t\t\tANNA has joined the room\nsay\tANNA\t\tcaf\xC3\xA9\\tbar \\\\ x\n"
                              "msg\tGuest\tANNA\thi\nexpect-failed\t\t\tnever\nsay\tBOB\t\tafter\n"));
    }
};

QTEST_MAIN(TestChatRoom)
#include "tst_chatroom.moc"
