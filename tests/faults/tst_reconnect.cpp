// palvuro-chat killed in the middle of a question, then started again and "&Connect" pressed once
// more: the bot neither spins while the client is gone nor loses the question in the new room.
#include "app/MainWindow.h"
#include "platform/BusWindowApi.h"
#include "platform/QtEventPump.h"
#include "tests/support/BotDriver.h"
#include "widgets/MessageBox.h"

#include <QtTest>
#include <QtWidgets>

#include <ctime>

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
        const std::clock_t before = std::clock();
        QTest::qWait(2000);
        const double busy = double(std::clock() - before) / CLOCKS_PER_SEC / 2.0;
        QVERIFY2(busy < 0.5, qPrintable(QString("the bot used %1 of a core").arg(busy)));
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
