#include "chatclient/ChatRoom.h"
#include "chatclient/ScriptLine.h"
#include "chatclient/ScriptRunner.h"
#include "platform/WindowRegistry.h"
#include "tests/support/ProgramRun.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace palvuro;

// Room scripts: their lines, their run in this process, and palvuro-chat run as a program. How the
// bot drives the client over the desktop bus is proved by the end-to-end games.
class TestScript : public QObject {
    Q_OBJECT
private Q_SLOTS:
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

QTEST_GUILESS_MAIN(TestScript)
#include "tst_script.moc"
