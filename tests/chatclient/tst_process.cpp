#include "platform/BusWindowApi.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// palvuro-chat as a separate program: a room script in, a transcript and an exit status out.
class TestProcess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void runScript_data();
    void runScript();
    void driveTheClientOverTheBus();

private:
    QString program_;
};

void TestProcess::initTestCase() {
    program_ = qEnvironmentVariable("PALVURO_BIN_DIR") + QStringLiteral("/palvuro-chat");
    if (!QFileInfo(program_).isExecutable())
        QSKIP("palvuro-chat is not built");
}

void TestProcess::runScript_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("fromStdin");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("records"); // kind, from, to and text of each record, time dropped

    QTest::newRow("failed expect: the script goes on, status 3")
        << QStringList{} << false
        << QByteArray("join ANNA\nsay ANNA caf\xC3\xA9\tbar \\ x\nnonsense\nsay Guest /msg ANNA hi\n"
                      "expect never 50\nsay BOB after\n")
        << 3
        << QByteArray("notice\t\t\tANNA has joined the room\nsay\tANNA\t\tcaf\xC3\xA9\\tbar \\\\ x\n"
                      "msg\tGuest\tANNA\thi\nexpect-failed\t\t\tnever\nsay\tBOB\t\tafter\n");
    QTest::newRow("standard input ends the script, quit stops it")
        << QStringList{} << true << QByteArray("say ANNA one\r\nquit\nsay ANNA two\n") << 0
        << QByteArray("say\tANNA\t\tone\n");
    QTest::newRow("without a screen the script's end ends the program")
        << QStringList{"--nick", "Bot"} << false << QByteArray("say Bot /msg ANNA <b>x</b>\nwait 1\n") << 0
        << QByteArray("msg\tBot\tANNA\t<b>x</b>\n");
    QTest::newRow("bad arguments") << QStringList{"--wrap", "wide"} << false << QByteArray() << 2
                                   << QByteArray();
}

void TestProcess::runScript() {
    QFETCH(QStringList, args);
    QFETCH(bool, fromStdin);
    QFETCH(QByteArray, script);
    QFETCH(int, status);
    QFETCH(QByteArray, records);

    QTemporaryDir dir;
    QFile scriptFile(dir.filePath(QStringLiteral("script.txt")));
    QVERIFY(scriptFile.open(QIODevice::WriteOnly));
    scriptFile.write(script);
    scriptFile.close();
    const QString transcriptPath = dir.filePath(QStringLiteral("transcript.tsv"));

    QProcess chat;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    chat.setProcessEnvironment(env);
    if (!script.isEmpty())
        args << QStringLiteral("--transcript") << transcriptPath << QStringLiteral("--script")
             << (fromStdin ? QStringLiteral("-") : scriptFile.fileName());
    chat.start(program_, args);
    QVERIFY(chat.waitForStarted());
    if (fromStdin) {
        chat.write(script);
        chat.closeWriteChannel();
    }
    QVERIFY2(chat.waitForFinished(60000), "palvuro-chat did not end");
    QCOMPARE(chat.exitStatus(), QProcess::NormalExit);
    QCOMPARE(chat.exitCode(), status);
    if (script.isEmpty()) {
        QVERIFY(chat.readAllStandardError().contains("usage:"));
        return;
    }

    QFile transcript(transcriptPath);
    QVERIFY(transcript.open(QIODevice::ReadOnly));
    QByteArray withoutTimes;
    for (const QByteArray& line : transcript.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const qsizetype tab = line.indexOf('\t');
        bool number = false;
        line.left(tab).toLongLong(&number);
        QVERIFY2(number, line.constData());
        withoutTimes += line.mid(tab + 1) + '\n';
    }
    QCOMPARE(withoutTimes, records);
}

void TestProcess::driveTheClientOverTheBus() {
    using namespace palvuro;
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    QProcess chat;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    chat.setProcessEnvironment(env);
    chat.start(program_, {"--nick", "Bot", "--wrap", "0", "--script", "-"});
    QVERIFY(chat.waitForStarted());

    // The bot's way in: the title, the room, its text and input children, the sixth window.
    BusWindowApi api;
    Hwnd main = 0;
    QTRY_VERIFY_WITH_TIMEOUT((main = api.findWindow(nullptr, "Palvuro 2.0")) != 0, 20000);
    const Hwnd room = api.findWindowEx(main, 0, "AfxWnd70u", nullptr);
    const Hwnd text = api.findWindowEx(room, 0, "RichEdit20W", nullptr);
    const Hwnd input = api.findWindowEx(room, 0, "Edit", nullptr);
    Hwnd send = 0;
    int seen = 0;
    api.enumChildWindows(
        room,
        [&](Hwnd hwnd, LParam) {
            if (++seen < 6)
                return 1;
            send = hwnd;
            return 0;
        },
        0);
    QVERIFY(text && input && send);

    const QByteArray said = "Times Up!\r\nThe answer was caf\xE9";
    QCOMPARE(api.sendMessage(input, wm::SetText, WParam(said.size()), LParam(said.constData())), LResult(1));
    QVERIFY(api.postMessage(send, wm::LButtonDown, 0, 0));
    QVERIFY(api.postMessage(send, wm::LButtonUp, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(api.sendMessage(text, wm::GetLineCount, 0, 0), LResult(3), 10000);
    QByteArray line(64, '\0');
    line[0] = 64;
    const LResult copied = api.sendMessage(text, wm::GetLine, 1, LParam(line.data()));
    QCOMPARE(line.left(copied), QByteArray("The answer was caf\xE9 \r"));

    chat.write("quit\n");
    QVERIFY(chat.waitForFinished(20000));
    QCOMPARE(chat.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
