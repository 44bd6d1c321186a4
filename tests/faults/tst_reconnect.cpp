// palvuro-chat killed with SIGKILL in the middle of a question, then started again and the
// bot's "&Connect" pressed once more: the bot neither crashes nor spins while the client is
// gone, and the game carries on in the new room (the open question can still be answered, and
// scored, and "!QUIT" ends the game).
#include "app/MainWindow.h"
#include "commands/TriviaBot.h"
#include "platform/BusWindowApi.h"
#include "platform/MessageBox.h"
#include "platform/QtEventPump.h"
#include "tests/faults/BotBench.h"
#include "tests/faults/FaultSkip.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace palvuro;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A palvuro-chat whose room script comes from standard input, with a transcript to read back.
class ChatClient {
public:
    ChatClient(const QString& program, const QString& transcript) : transcript_(transcript) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process_.setProcessEnvironment(env);
        process_.start(program, {"--nick", "TRIVIA", "--script", "-", "--transcript", transcript});
    }
    ~ChatClient() {
        process_.kill();
        process_.waitForFinished();
    }
    bool started() { return process_.waitForStarted(); }
    void say(const QString& nick, const QString& text) {
        process_.write(QStringLiteral("say %1 %2\n").arg(nick, text).toUtf8());
    }
    void kill() {
        process_.kill();
        process_.waitForFinished();
    }
    // The room as the client recorded it.
    QByteArray room() const {
        QFile file(transcript_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QProcess process_;
    QString transcript_;
};

} // namespace

class TstReconnect : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clientKilledAndRestarted() {
        const QString program = qEnvironmentVariable("PALVURO_BIN_DIR") + QStringLiteral("/palvuro-chat");
        if (!QFile::exists(program))
            PALVURO_SKIP(QStringLiteral("palvuro-chat is not built"));
        QTemporaryDir work;
        qputenv("XDG_RUNTIME_DIR", work.filePath(QStringLiteral("runtime")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", work.filePath(QStringLiteral("config")).toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           work.filePath(QStringLiteral("config")));
        QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("runtime"))));
        QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("program"))));
        const QString folder = work.filePath(QStringLiteral("program"));
        QVERIFY(BotBench::prepareFolder(folder));
        MessageBox::setTestMode(true);

        auto first = std::make_unique<ChatClient>(program, work.filePath(QStringLiteral("first.tsv")));
        QVERIFY(first->started());
        BusWindowApi windows;
        QtEventPump pump;
        MainWindow window(windows, pump, folder);
        window.findChild<QLineEdit*>(QStringLiteral("txtNick"))->setText(QStringLiteral("TRIVIA"));
        window.state().giveAnswerSecs = 60;
        window.state().nextQuestionSecs = 2;
        auto* connectButton = window.findChild<QPushButton*>(QStringLiteral("cmd_connect"));
        auto* status = window.findChild<QLabel*>(QStringLiteral("lbl_stat"));
        // The client's window may not be published yet: wait for it before the first click.
        QTRY_VERIFY_WITH_TIMEOUT(windows.findWindow(nullptr, "Palvuro 2.0") != 0, 20000);
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QCOMPARE(status->text(), QStringLiteral("Trivia Connected"));
        first->say(QStringLiteral("ANNA"), QStringLiteral("!START HISTORY"));
        QTRY_VERIFY_WITH_TIMEOUT(window.state().questionActive, 20000);

        // The client dies with the question open; the bot goes on polling a room that is gone.
        first->kill();
        const double before = cpuSeconds();
        QTest::qWait(2000);
        const double busy = (cpuSeconds() - before) / 2.0;
        QVERIFY2(busy < 0.5, qPrintable(QStringLiteral("the bot used %1 of a core").arg(busy)));
        QVERIFY(MessageBox::shown().empty());
        QVERIFY(window.state().questionActive);

        ChatClient second(program, work.filePath(QStringLiteral("second.tsv")));
        QVERIFY(second.started());
        QTRY_VERIFY_WITH_TIMEOUT(windows.findWindow(nullptr, "Palvuro 2.0") != 0, 20000);
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QCOMPARE(status->text(), QStringLiteral("Trivia Connected"));
        QVERIFY(MessageBox::shown().empty());
        second.say(QStringLiteral("BOB"), QStringLiteral("PARIS"));
        QTRY_VERIFY_WITH_TIMEOUT(second.room().contains("(*)BOB (*) Is Correct, Your Score Is [ 13 ]"),
                                 20000);
        second.say(QStringLiteral("ANNA"), QStringLiteral("!QUIT"));
        QTRY_VERIFY_WITH_TIMEOUT(second.room().contains("[Trivia Ended By ANNA]"), 20000);
        QVERIFY(!window.state().gameRunning);
        window.bot().closeGame();
    }
};

QTEST_MAIN(TstReconnect)
#include "tst_reconnect.moc"
