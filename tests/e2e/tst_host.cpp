#include "host/BotSettings.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/HostProcess.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/TestFiles.h"

#include <QtTest>

#include <csignal>
#include <memory>

using namespace palvuro;
using Message = IrcChatter::Message;

// palvuro-host on a machine with no display at all: a real ircd-hybrid, two hosts on two
// channels, two chatters of their own. One game runs through the faults: the client killed
// mid-question, and at last the service manager's SIGTERM. The bot's own restart is the hung
// bot's.
class TestHost : public QObject {
    Q_OBJECT
    const QString channel_ = QStringLiteral("#trivia");
    IrcServer server_;
    std::unique_ptr<IrcChatter> anna_, bob_;
    std::unique_ptr<HostProcess> host_, other_;
    std::unique_ptr<ChannelGame> game_; // TRIVIA's channel as ANNA sees it

    void kill(qint64 pid, int signal) const { QVERIFY(pid > 0 && ::kill(pid_t(pid), signal) == 0); }

private Q_SLOTS:
    void initTestCase() {
        if (const QString why = IrcServer::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        QVERIFY2(server_.start(), qPrintable(server_.error()));
        anna_ = std::make_unique<IrcChatter>("ANNA");
        bob_ = std::make_unique<IrcChatter>("BOB");
        for (IrcChatter* c : {anna_.get(), bob_.get()})
            QVERIFY(c->connectTo(server_.port(), channel_));
        host_ = std::make_unique<HostProcess>(server_.port(), channel_, "TRIVIA");
        other_ = std::make_unique<HostProcess>(server_.port(), "#second", "QUIZ");
        QVERIFY2(host_->start(), qPrintable(host_->error()));
        QVERIFY2(other_->start({"--hang-limit", "3"}), qPrintable(other_->error()));
        QVERIFY2(host_->waitHealthy(), host_->log());
        QVERIFY2(other_->waitHealthy(), other_->log());
        game_ = std::make_unique<ChannelGame>(*anna_, channel_, "TRIVIA", HostProcess::answers(),
                                              host_->folder());
    }

    void cleanup() {
        if (QTest::currentTestFailed() && host_)
            qWarning().noquote() << host_->log() << anna_->dump(qMax(0, anna_->receivedCount() - 40));
    }

    // Each host's bot answers its own channel only, and both run as one user.
    void twoHostsSideBySide() {
        IrcChatter dora("DORA");
        QVERIFY(dora.connectTo(server_.port(), "#second"));
        int at = anna_->receivedCount() - 1;
        anna_->sendRaw("JOIN #second");
        QVERIFY(dora.waitFor([](const Message& m) { return m.command == "JOIN" && m.nick == "ANNA"; }));
        anna_->say("#second", "!CATEGORIES");
        const ChannelGame quiz(dora, "#second", "QUIZ", HostProcess::answers(), other_->folder());
        QVERIFY(dora.waitFor(quiz.botSays()));
        QVERIFY(anna_->waitFor(quiz.botSays(), at + 1));
        anna_->sendRaw("PART #second");
        for (const Message& m : anna_->messagesFrom("TRIVIA", at + 1))
            QVERIFY2(false, qPrintable("TRIVIA answered another channel: " + m.text()));
        QCOMPARE(host_->status().channel, channel_);
        QCOMPARE(other_->status().channel, QString("#second"));
    }

    // A bot that stops handling its events is restarted as a crashed one is.
    void hungBotIsRestarted() {
        const qint64 stuck = other_->status().botPid;
        kill(stuck, SIGSTOP);
        QVERIFY2(other_->waitHealthy(30000, 1), other_->log());
        QVERIFY(other_->status().botPid != stuck);
        QVERIFY2(other_->log().contains("palvuro-trivia answered no window message for 3 s"), other_->log());
    }

    // SIGHUP: a changed nick restarts the client under it, a changed timing reaches the bot's
    // stored settings.
    void hangupReadsTheConfigAgain() {
        QFile config(other_->configFile());
        QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write(other_->config("QUIZ2", 9));
        config.close();
        kill(other_->process().processId(), SIGHUP);
        QTRY_COMPARE_WITH_TIMEOUT(other_->status().nick, QString("QUIZ2"), 20000);
        QVERIFY2(other_->waitHealthy(20000), other_->log());
        QSettings stored(BotSettings(other_->folder()).file(), QSettings::IniFormat);
        QCOMPARE(stored.value("Give/Answer").toString(), QString("9"));
    }

    void wholeGameThroughAClientCrash() {
        int at = anna_->receivedCount() - 1;
        anna_->say(channel_, "!START HISTORY");
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Bot Started By ANNA]"), at + 1, 30000, &at));
        QVERIFY(game_->answers(*bob_, &at, 30000));
        QTRY_VERIFY(host_->status().gameRunning);
        QCOMPARE(host_->status().category, QString("HISTORY"));
        QTRY_VERIFY(host_->status().questionsAsked >= 1);

        // Mid-question: the host starts the client again, the bot finds its new window, and the
        // game goes on in the channel with the score kept.
        QVERIFY(game_->nextQuestion(&at, 30000));
        kill(host_->status().clientPid, SIGKILL);
        QVERIFY(
            anna_->waitFor([](const Message& m) { return m.command == "QUIT" && m.nick == "TRIVIA"; }, at));
        QVERIFY2(host_->waitHealthy(10000, 1), host_->log());
        QVERIFY(host_->log().contains("palvuro-chat killed by signal 9"));
        at = anna_->receivedCount() - 1;
        QVERIFY(game_->answers(*bob_, &at, 30000));
        QCOMPARE(game_->storedScore("BOB"), 2);
    }

    // The service manager stops the host: the game's end and the QUIT reach the channel, the
    // host ends with status 0, and the database is whole. The other host runs on untouched.
    void sigtermEndsCleanly() {
        const int at = anna_->receivedCount();
        host_->process().terminate();
        QVERIFY(host_->process().waitForFinished(10000));
        QCOMPARE(host_->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(host_->process().exitCode(), 0);
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Ended]"), at));
        QVERIFY(
            anna_->waitFor([](const Message& m) { return m.command == "QUIT" && m.nick == "TRIVIA"; }, at));
        QCOMPARE(host_->status().state, QString("stopped"));
        QCOMPARE(TestFiles::sqlValue(host_->folder() + "/Trivia.mdb", "PRAGMA integrity_check"), "ok");
        QCOMPARE(game_->storedScore("BOB"), 2);
        QVERIFY(other_->status().healthy());
    }
};

QTEST_MAIN(TestHost)
#include "tst_host.moc"
