// The room is read while the bot waits to speak: the real event loop, the real timers and the
// program's own tick driver, against the in-process desktop.

#include "platform/QtEventPump.h"
#include "tests/commands/BotRig.h"

#include <QtTest>

using namespace palvuro;

namespace {

// The bot on a prepared folder, ticking on its own from the event loop.
struct LiveBot : OnOwnFolder<BasicBotDriver<QtEventPump>> {
    explicit LiveBot(std::int16_t answerSecs) {
        bot.clocks().driveFromEventLoop();
        timings.setAnswerSecs(answerSecs);
    }

    // Says the line `ms` after the bot's next line that starts with `botText`.
    void sayAfterBot(const QString& botText, int ms, const QString& nick, const QString& text) {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(&desk.room(), &ChatRoom::roomLine,
                                 [=](const QString& from, const QString& line) {
                                     if (from != Nick || !line.startsWith(botText))
                                         return;
                                     QObject::disconnect(*once);
                                     QTimer::singleShot(ms, &desk.room(), [=] { desk.say(nick, text); });
                                 });
    }
};

const QString Question = "CAPITAL OF FRANCE?";

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The "!Q" reply waits out the question's spacing; Bob's answer said meanwhile is read in a
    // tick of its own and scores, its line going out before the reply it overtook.
    void answerDuringAReplyWaitScores() {
        LiveBot bot(40);
        bot.sayAfterBot(Question, 50, "Zed", "!Q");
        bot.sayAfterBot(Question, 350, "Bob", "paris");
        bot.desk.say("Anna", "!START HISTORY");
        QTRY_VERIFY_WITH_TIMEOUT(bot.said.size() == 4, 10000);
        QCOMPARE(bot.saidTexts().mid(1), (QStringList{Question,
                                                      "(*)BOB (*) Is Correct, Your Score Is [ 1 ]\r\n40 "
                                                      "Seconds Until Next Question.",
                                                      "/msg ZED <b>CAPITAL OF FRANCE?</b>"}));
    }

    // Nested sends may overtake the one they interrupted: only the set of replies and their
    // spacing are promised.
    void commandsInABurstAreAllAnswered() {
        LiveBot bot(40);
        const QStringList commands = {"!HELP", "!MYSCORE", "!TOP", "!CATEGORIES"};
        for (int i = 0; i < commands.size(); ++i)
            QTimer::singleShot(100 * i, &bot.desk.room(), [&, i] { bot.desk.say("Zed", commands[i]); });
        QTRY_VERIFY_WITH_TIMEOUT(bot.said.size() == 4, 10000);
        QCOMPARE(bot.saidTexts().filter("/msg ZED <b>COMMANDS ARE;").size(), 1);
        QCOMPARE(bot.saidTexts().filter("/msg ZED <b>Your Score Is Zero</b>").size(), 1);
        QCOMPARE(bot.saidTexts().filter("/msg ZED ").size(), 3); // "!TOP" is the third
        QCOMPARE(bot.saidTexts().filter("CURRENT CATEGORIES ARE:").size(), 1);
        for (int i = 1; i < bot.said.size(); ++i)
            QVERIFY2(bot.said[i].tick - bot.said[i - 1].tick >= 1100, qPrintable(QString::number(i)));
    }
};

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
