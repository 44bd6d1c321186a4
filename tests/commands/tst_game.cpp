// The game and the commands as the room sees them, on the in-process desktop: ticked by hand,
// or by the real event loop and the program's own tick driver where the room is read while the
// bot waits to speak.
#include "platform/QtEventPump.h"
#include "tests/support/BotDriver.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace palvuro;

namespace {

struct RigFolder {
    QTemporaryDir dir;
};

// A bot driver on a prepared folder of its own (with `scores`, ANNA 4 and BOB 12).
template <class Driver> struct OnOwnFolder : RigFolder, Driver {
    explicit OnOwnFolder(bool scores = false) : Driver(dir.path()) {
        Driver::prepareFolder(dir.path(), scores);
    }
};
using BotRig = OnOwnFolder<BotDriver>;

// The bot on a prepared folder, ticking on its own from the event loop.
struct LiveBot : OnOwnFolder<BasicBotDriver<QtEventPump>> {
    LiveBot() { bot.clocks().driveFromEventLoop(); }
};

const QString Question = "CAPITAL OF FRANCE?";
const QString Pause = "\r\n40 Seconds Until Next Question.";

// Reader ticks until the bot speaks: how many it took, or -1.
int ticksUntilBotSpeaks(BotRig& rig, int limit) {
    const qsizetype before = rig.botLines().size();
    for (int i = 1; i <= limit; ++i) {
        rig.tick();
        if (rig.botLines().size() != before)
            return i;
    }
    return -1;
}

const QString NotStarted = "Trivia Not Started, Category Wasn't Specified Correctly.";

// The one line the bot says, as "/msg TO text" when private; none when empty.
void addReply(const char* tag, const char* nick, const char* message, const QString& reply = {}) {
    QTest::newRow(tag) << QString(nick) << QString(message) << reply;
}

} // namespace

class TestGame : public QObject {
    Q_OBJECT
    std::unique_ptr<BotRig> scored_; // ANNA 4, BOB 12; shared by the rows of `reply`

private Q_SLOTS:
    void wholeGame() {
        BotRig rig;
        rig.say("Anna", "!START HISTORY"); // a quit in the wait before the first question ends it
        rig.tick(50);
        rig.say("Anna", "!QUIT");
        rig.tick(500);
        QCOMPARE(rig.botLines(), (QStringList{"[Trivia Bot Started By ANNA]", "[Trivia Ended By ANNA]"}));

        rig.say("Anna", "!start history");
        QCOMPARE(rig.botLines().last(), QString("[Trivia Bot Started By ANNA]"));
        const std::uint32_t started = rig.said.last().tick;
        rig.say("Bob", "!categories"); // the room is still read during the wait
        QCOMPARE(rig.botLines().last(),
                 QString("CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n"));
        QVERIFY(ticksUntilBotSpeaks(rig, 300) > 0);
        QCOMPARE(rig.botLines().last(), Question);
        const std::uint32_t asked = rig.said.last().tick;
        QVERIFY(asked - started >= 2000 && asked - started <= 2000 + 1100 + 20);
        QCOMPARE(rig.cheats, QStringList{"PARIS"});

        rig.say("Zed", "!Q");
        rig.say("Anna", "!START ART"); // a game runs already
        QCOMPARE(rig.said.last().text, QString("/msg ZED <b>CAPITAL OF FRANCE?</b>"));

        // Half time on the clock, counted from the pick: the question itself may have waited
        // up to one send spacing after the categories line before it reached the room.
        QVERIFY(ticksUntilBotSpeaks(rig, 3000) > 0);
        QVERIFY(rig.said.last().tick - asked > 20000 - 1100 && rig.said.last().tick - asked <= 20020);
        QVERIFY(rig.botLines().last().startsWith("HINT: "));

        std::optional<qint64> storedWhenSaid;
        QObject::connect(&rig.desk.room(), &ChatRoom::roomLine, [&](const QString&, const QString& text) {
            if (text.contains("Is Correct"))
                TriviaDatabase(rig.dir.path()).lookupScore("BOB", &storedWhenSaid);
        });
        rig.say("Bob", "paris");
        QCOMPARE(rig.botLines().last(), "(*)BOB (*) Is Correct, Your Score Is [ 1 ]" + Pause);
        QCOMPARE(storedWhenSaid, std::optional<qint64>(1));

        rig.timings.setGiveAnswer(true);
        for (int i = 0; i < 40; ++i) // the pause
            rig.bot.startGetrandomTimer();
        QCOMPARE(rig.botLines().last(), Question);
        // The hint: the clock ran while the question waited its turn after the answer's line.
        QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000 - 110);
        QCOMPARE(ticksUntilBotSpeaks(rig, 5000), 2000);
        QCOMPARE(rig.botLines().last(), "Times Up! Answer Was PARIS" + Pause);

        rig.bot.startGetrandomTimer(); // "!QUIT" in the pause: the end line and nothing after it
        rig.say("Anna", "!quit");
        QCOMPARE(rig.botLines().last(), QString("[Trivia Ended By ANNA]"));
        const qsizetype ended = rig.botLines().size();
        for (int i = 0; i < 100; ++i)
            rig.bot.startGetrandomTimer();
        rig.tick(5000);
        QCOMPARE(rig.botLines().size(), ended);

        rig.say("Anna", "!START empty");
        rig.tick(300);
        QCOMPARE(
            rig.botLines().mid(ended),
            (QStringList{"[Trivia Bot Started By ANNA]",
                         "This Category Contains No Questions, Please Select Another", "[Trivia Ended]"}));
        QVERIFY(!rig.bot.session().isRunning() && !rig.pause.isEnabled());
    }

    // The client ends mid-question: the question clock runs on against its missing windows and
    // the question stays open for the client that comes back (the end-to-end suites reconnect).
    void clockRunsOnWhileTheClientIsGone() {
        BotRig rig;
        QVERIFY(rig.startGame());
        rig.desk.registry().destroy(rig.desk.room().mainWindow());
        const int ticks = rig.timings.answerTicks();
        rig.tick(200);
        QCOMPARE(rig.timings.answerTicks(), ticks + 200);
        QVERIFY(rig.bot.session().questionOpen());
    }

    // A line that waits for its send spacing while a tick scores the answer or stops the game
    // is dropped: no hint after the answer, nothing of a game after its end line.
    void linesMadeStaleDuringTheirWaitAreDropped() {
        BotRig rig;
        rig.say("Anna", "!START HISTORY");
        QVERIFY(ticksUntilBotSpeaks(rig, 300) > 0);
        rig.tick(1990);
        rig.say("Zed", "!Q"); // the reply leaves the hint waiting for its turn
        rig.pump.onNextWait = [&] { rig.desk.say("Bob", "paris"); };
        QVERIFY(ticksUntilBotSpeaks(rig, 20) > 0);
        rig.tick(3980);
        rig.say("Bob", "!MYSCORE"); // the reply leaves the next question waiting for its turn
        rig.pump.onNextWait = [&] { rig.desk.say("Anna", "!QUIT"); };
        rig.tick(500);
        QCOMPARE(rig.botLines().mid(1),
                 (QStringList{Question, "(*)BOB (*) Is Correct, Your Score Is [ 1 ]" + Pause,
                              "[Trivia Ended By ANNA]"}));
    }

    // Nested sends may overtake the one they interrupted: only the set of replies and their
    // spacing are promised.
    void commandsInABurstAreAllAnswered() {
        LiveBot bot;
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

    void reply_data() {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reply");
        addReply("!GETUSERSCORE, more text", "Zed", "!GETUSERSCORE nobody please",
                 "/msg ZED <b>NOBODY's Score Is Zero</b>");
        addReply("!GETUSERSCORE, two blanks", "Zed", "!GETUSERSCORE  ANNA",
                 "/msg ZED <b>'s Score Is Zero</b>");
        addReply("!GETUSERSCORE, no nick", "Zed", "!GETUSERSCORE",
                 "/msg ZED <b>Command Wasn't Specified Correctly.</b>");
        for (const char* ignored :
             {"!TOP10", "!TOP please", "!HELP me", "!CATEGORIES now", "!Q", "!QUESTION"})
            addReply(ignored, "Zed", ignored);
        addReply("!QUIT outside a game", "anna", "!QUIT", "[Trivia Ended By ANNA]");
        addReply("!QUIT by a stranger", "Zed", "!QUIT", "Unauthorized User!");
        addReply("!START not first in the message", "Anna", "go !START HISTORY");
        addReply("!START, no category", "Anna", "!START", NotStarted);
        addReply("!TOP !START ART reads TART", "Anna", "!TOP !START ART", NotStarted);
        addReply("!START with more words", "Anna", "!Start History now", "[Trivia Bot Started By ANNA]");
    }
    void reply() {
        if (!scored_)
            scored_ = std::make_unique<BotRig>(true);
        QFETCH(QString, nick);
        QFETCH(QString, message);
        QFETCH(QString, reply);
        scored_->said.clear();
        scored_->say(nick, message);
        QCOMPARE(scored_->saidTexts(), reply.isEmpty() ? QStringList() : QStringList{reply});
        if (scored_->bot.session().isRunning())
            scored_->bot.stopTrivia(); // the next row starts outside a game
    }

    // "!TOP" with twelve players', then "!START" without a users file.
    void freshFolder() {
        BotRig rig;
        TriviaDatabase db(rig.dir.path());
        for (int i = 1; i <= 12; ++i) {
            for (qint64 n = 0, score = 0; n < i; ++n)
                db.scoreCorrectAnswer(QString("P%1").arg(i, 2, 10, QChar('0')), &score);
        }
        rig.say("Zed", "!TOP");
        QString expected = "ZED <b>\r\n";
        for (int i = 12; i >= 3; --i)
            expected += QString("P%1 %2\r\n").arg(i, 2, 10, QChar('0')).arg(i);
        QCOMPARE(rig.desk.privateTexts().last(), expected + "</b>");
        QVERIFY(QFile::remove(UsersList(rig.dir.path()).filePath()));
        rig.say("Anna", "!START HISTORY");
        QCOMPARE(rig.botLines(), (QStringList{"No Authorized Users Assigned", "Unauthorized User!"}));
        QVERIFY(!rig.bot.session().isRunning());
    }
};

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
