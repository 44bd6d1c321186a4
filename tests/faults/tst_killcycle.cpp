// The bot (this program with --score-child) killed the moment it announced a correct answer: every
// announced score is in a sound Psystem after. PALVURO_KILL_CYCLES sets the cycles (10 by default).
#include "tests/support/BotDriver.h"
#include "tests/support/TestFiles.h"

#include <QtTest>

#include <cstdio>

using namespace palvuro;

namespace {

// Answers every question as PLAYER, for ever, printing the bot's reply to each at once.
int runScoringChild(const QString& folder) {
    BotDriver bot(folder);
    bot.timings.setNextQuestionSecs(1);
    if (!bot.startGame())
        return 3;
    for (;;) {
        bot.desk.clearLog();
        bot.say("PLAYER", bot.bot.session().answer());
        std::printf("%s\n", qPrintable(bot.botLines().join('\n')));
        std::fflush(stdout);
        bot.pump.advance(1000);
        bot.bot.startGetrandomTimer();
        bot.tick(2);
    }
}

// PLAYER's stored points, or -1 when the file is not a sound database.
qint64 storedPoints(const QString& folder) {
    const QString file = folder + "/Trivia.mdb";
    if (TestFiles::sqlValue(file, "PRAGMA integrity_check") != "ok")
        return -1;
    return TestFiles::sqlValue(file, "SELECT Points FROM Psystem WHERE Nick = 'PLAYER'").toLongLong();
}

} // namespace

class TstKillCycle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void announcedScoresSurviveKill() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid() && BotDriver::prepareFolder(folder.path()));
        const int cycles = qEnvironmentVariable("PALVURO_KILL_CYCLES", "10").toInt();
        static const QRegularExpression announced(
            "^\\(\\*\\)PLAYER \\(\\*\\) Is Correct, Your Score Is \\[ (\\d+) \\]");
        int lost = 0;
        qint64 lastAnnounced = 0;
        for (int cycle = 0; cycle < cycles; ++cycle) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {"--score-child", folder.path()});
            // The kill lands after the first, second or third announcement of this run.
            for (int seen = 0; seen < 1 + cycle % 3;) {
                while (!child.canReadLine())
                    QVERIFY2(child.waitForReadyRead(30000),
                             "the scoring child ended or said nothing for 30 s");
                const QRegularExpressionMatch match = announced.match(QString::fromUtf8(child.readLine()));
                if (match.hasMatch()) {
                    lastAnnounced = match.captured(1).toLongLong();
                    ++seen;
                }
            }
            child.kill();
            QVERIFY(child.waitForFinished(10000) && child.exitStatus() == QProcess::CrashExit);
            // A point scored but not yet announced may be there too; an announced one is never
            // missing, nor is the file unsound.
            const qint64 stored = storedPoints(folder.path());
            lost += stored < lastAnnounced;
            lastAnnounced = stored;
        }
        std::printf("KILL-CYCLES cycles=%d scores_lost=%d\n", cycles, lost);
        std::fflush(stdout);
        QCOMPARE(lost, 0);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--score-child") == 0)
        return runScoringChild(QString::fromLocal8Bit(argv[2]));
    TstKillCycle test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killcycle.moc"
