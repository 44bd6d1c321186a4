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

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
