// palvuro-chat killed in the middle of a question, then started again and "&Connect" pressed once
// more: the bot keeps its clocks running while the client is gone and does not lose the question
// in the new room.
#include "app/MainWindow.h"
#include "platform/BusWindowApi.h"
#include "platform/QtEventPump.h"
#include "tests/support/BotDriver.h"
#include "widgets/MessageBox.h"

#include <QtTest>
#include <QtWidgets>

using namespace palvuro;

class TstReconnect : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clientKilledAndRestarted() {
        const QString program = qEnvironmentVariable("PALVURO_BIN_DIR") + "/palvuro-chat";
        if (!QFile::exists(program))
            QSKIP("palvuro-chat is not built");
        QTemporaryDir work;
        const QString folder = work.filePath("program"), config = work.filePath("config");
        qputenv("XDG_RUNTIME_DIR", work.filePath("runtime").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
        QVERIFY(QDir().mkpath(work.filePath("runtime")) && QDir().mkpath(folder));
        QVERIFY(BotDriver::prepareFolder(folder));
        MessageBox::setTestMode(true);

        // A palvuro-chat whose room script comes from standard input, with a transcript to read back.
        QProcess client;
        const QString transcript = work.filePath("room.tsv");
        const QStringList arguments = {"--nick", "TRIVIA", "--script", "-", "--transcript", transcript};
        const auto say = [&](const char* nick, const char* text) {
            client.write(QByteArray("say ") + nick + ' ' + text + '\n');
        };
        const auto room = [&] {
            QFile file(transcript);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        client.start(program, arguments);
        BusWindowApi windows;
        QtEventPump pump;
        MainWindow window(windows, pump, folder);
        window.findChild<QLineEdit*>("txtNick")->setText("TRIVIA");
        window.timings().setAnswerSecs(60);
        const auto connect = [&] {
            // The client's window may not be published yet: wait for it before the click.
            QTRY_VERIFY_WITH_TIMEOUT(windows.findWindow(nullptr, "Palvuro 2.0") != 0, 20000);
            QTest::mouseClick(window.findChild<QPushButton*>("cmd_connect"), Qt::LeftButton);
            QCOMPARE(window.findChild<QLabel*>("lbl_stat")->text(), "Trivia Connected");
        };
        connect();
        say("ANNA", "!START HISTORY");
        QTRY_VERIFY_WITH_TIMEOUT(window.bot().session().questionOpen(), 20000);

        // The client dies with the question open; the bot goes on polling a room that is gone.
        client.kill();
        client.waitForFinished();
        // Two seconds of reader ticks against the gone room: the question stays open.
        const int ticksAtKill = window.timings().answerTicks();
        QTRY_VERIFY_WITH_TIMEOUT(window.timings().answerTicks() >= ticksAtKill + 200, 20000);
        QVERIFY(window.bot().session().questionOpen());

        client.start(program, arguments);
        connect();
        QVERIFY(MessageBox::shown().empty());
        say("BOB", "PARIS");
        QTRY_VERIFY_WITH_TIMEOUT(room().contains("(*)BOB (*) Is Correct, Your Score Is [ 13 ]"), 20000);
        window.bot().closeGame();
        client.kill();
        client.waitForFinished();
    }
};

QTEST_MAIN(TstReconnect)
#include "tst_reconnect.moc"
