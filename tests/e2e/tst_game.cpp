#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Record = E2eSession::Record;

// palvuro-chat and palvuro-trivia as separate programs on a private X server: a game and chat
// commands as the room sees them, then the operator at the keyboard of the running bot (the
// tray and a second copy are left to the main window's suite). The menu is driven as a person
// without a mouse does: alt+f, then an item's mnemonic. One session serves every case in order.
class TestGame : public QObject {
    Q_OBJECT
    std::unique_ptr<E2eSession> room_;
    const QHash<QString, QString>& answers_ = E2eSession::answers();
    const QString pause_ = QStringLiteral("\r\n%1 Seconds Until Next Question.").arg(E2eSession::PauseSecs);
    bool gameRunning_ = false;

    // The bot's first line after *index; *index moves to it.
    std::optional<Record> nextBotLine(int* index) const {
        return room_->waitFor(
            *index + 1, [](const Record& r) { return r.from == E2eSession::BotNick; }, index);
    }
    bool isGameLine(const Record& r) const {
        return r.kind == "say" && r.from == E2eSession::BotNick &&
               (answers_.contains(r.text) || r.text.startsWith("HINT: ") || r.text.startsWith("Times Up!"));
    }
private Q_SLOTS:
    void initTestCase() {
        const QString why = E2eSession::cannotRun();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        room_ = std::make_unique<E2eSession>();
        QVERIFY2(room_->start(), qPrintable(room_->error()));
    }

    void typicalGame() {
        const int mark = room_->roomSize();
        room_->say("ANNA", "!start history");
        int at = 0;
        const auto start = room_->waitFor(mark, E2eSession::botSays("[Trivia Bot Started By ANNA]"), &at);
        QVERIFY2(start, room_->dump(mark));
        const auto question = nextBotLine(&at);
        QVERIFY2(question && answers_.contains(question->text), room_->dump(mark));
        QVERIFY2(question->ms - start->ms >= 1900, room_->dump(mark));

        QVERIFY2(room_->waitFor(at, [](const Record& r) { return r.text.startsWith("HINT: "); }),
                 room_->dump(mark));
        room_->say("BOB", answers_.value(question->text).toLower());
        const auto correct = room_->waitFor(
            at, E2eSession::botSays("(*)BOB (*) Is Correct, Your Score Is [ 1 ]" + pause_), &at);
        QVERIFY2(correct, room_->dump(mark));

        // After the pause the next question; nobody answers it, the hint comes at half time.
        const auto next = nextBotLine(&at);
        QVERIFY2(next && answers_.contains(next->text) && next->ms - correct->ms >= 1500, room_->dump(mark));
        const auto hint2 = nextBotLine(&at);
        QVERIFY2(hint2 && hint2->text.startsWith("HINT: "), room_->dump(mark));
        const auto timesUp = nextBotLine(&at);
        QVERIFY2(timesUp, room_->dump(mark));
        QCOMPARE(timesUp->text, "Times Up! Not Answered." + pause_);
        const double half = double(hint2->ms - next->ms) / double(timesUp->ms - next->ms);
        QVERIFY2(half > 0.3 && half < 0.7, room_->dump(mark));
        const auto third = nextBotLine(&at);
        QVERIFY2(third && answers_.contains(third->text), room_->dump(mark));
        gameRunning_ = true; // for the commands said in a game
    }

    // What the real programs add to the replies the command suites check in-process: private
    // and room lines of several lines through the chat client, the score the running bot stored,
    // and commands said between the lines of the running game, up to its end.
    void commands_data() {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reply"); // empty: no reply at all
        QTest::addColumn<QString>("to");    // the private reply's nick; empty: a room line
        // clang-format off
        QTest::newRow("top")               << "CAT"  << "!top"        << "<b>\r\nBOB 1\r\n</b>" << "CAT";
        QTest::newRow("categories")        << "CAT"  << "!CATEGORIES"
                                           << "CURRENT CATEGORIES ARE:\r\n[ART]\r\n[HISTORY]\r\n" << "";
        QTest::newRow("start, in a game")  << "ANNA" << "!START ART"  << "" << "";
        QTest::newRow("unauthorized quit") << "CAT"  << "!QUIT"       << "Unauthorized User!" << "";
        QTest::newRow("quit")              << "ANNA" << "!quit"       << "[Trivia Ended By ANNA]" << "";
        // clang-format on
    }
    void commands() {
        QFETCH(QString, nick);
        QFETCH(QString, message);
        QFETCH(QString, reply);
        QFETCH(QString, to);
        QVERIFY2(gameRunning_, "no game runs: the typical game failed");
        // A chatter's line that reaches the room in the same reader tick as one of the bot's is
        // judged together with it; the game's lines come seconds apart, so a line said just after
        // one of them stands alone.
        const auto gameLine = [this](const Record& r) { return isGameLine(r); };
        QVERIFY2(room_->waitFor(room_->roomSize(), gameLine), room_->dump());
        const int mark = room_->roomSize();
        room_->say(nick, message);
        if (reply.isEmpty()) {
            // Silence shows as the bot answering the next command first.
            to = "SENTINEL";
            reply = "<b>Your Score Is Zero</b>";
            room_->say(to, "!MYSCORE");
        }
        int at = 0;
        QVERIFY2(room_->waitFor(mark, E2eSession::botSays(reply, to), &at), room_->dump(mark));
        // Before it the bot said nothing but the lines of the game.
        const QList<Record> seen = room_->records();
        for (int i = mark; i < at; ++i)
            QVERIFY2(seen[i].from != E2eSession::BotNick || isGameLine(seen[i]), room_->dump(mark));
    }

    // The operator adds a question while a game runs; the game goes on meanwhile, and the menu's
    // exit ends it and the program.
    void editorAndExitDuringGame() {
        const int mark = room_->roomSize();
        room_->say("ANNA", "!START HISTORY");
        const auto isQuestion = [this](const Record& r) { return answers_.contains(r.text); };
        QVERIFY2(room_->waitFor(mark, isQuestion), room_->dump(mark));
        QVERIFY(room_->operatorMenu({"a"})); // "&Add Categories/Questions"
        const quint64 editor = room_->waitForWindow("Add Categories / Questions");
        QVERIFY(editor != 0 && room_->focus(editor));
        // Tab order: category box (the remembered ART), Delete, new category, its button,
        // question, answer, Add.
        QVERIFY(room_->keys({"Tab", "Tab", "Tab", "Tab"}) && room_->type(" what colour is the sky? "));
        QVERIFY(room_->keys({"Tab"}) && room_->type("blue") && room_->keys({"Tab", "space"}));
        TriviaDatabase db(room_->dataFolder());
        TriviaDatabase::Pair pair;
        QTRY_COMPARE_WITH_TIMEOUT(db.findPairByQuestion("ART", "WHAT COLOUR IS THE SKY?", &pair),
                                  DbStatus::Ok, 10000);
        QCOMPARE(pair.answer, QStringLiteral("BLUE"));
        QVERIFY2(room_->waitFor(room_->roomSize(), isQuestion), room_->dump(mark));

        // A burst of commands keeps replies waiting for seconds; the exit comes among them, and
        // "[Trivia Ended]" is the last the room hears of the bot.
        const int burst = room_->roomSize();
        for (int i = 0; i < 6; ++i)
            room_->say("CAT", "!MYSCORE");
        const auto reply = E2eSession::botSays("<b>Your Score Is Zero</b>", "CAT");
        QVERIFY2(room_->waitFor(burst, reply), room_->dump(mark));
        // "&Edit Scores" shares the mnemonic: the first e moves to "&Exit Trivia", Return runs it.
        QVERIFY(room_->operatorMenu({"e", "Return"}));
        int ended = 0;
        QVERIFY2(room_->waitFor(mark, E2eSession::botSays("[Trivia Ended]"), &ended), room_->dump(mark));
        // The bot may be gone already: the room's wait runs the event loop, which reaps it, and
        // waitForFinished() answers false for a process that has finished.
        QVERIFY(room_->trivia().state() == QProcess::NotRunning || room_->trivia().waitForFinished(30000));
        QCOMPARE(room_->trivia().exitStatus(), QProcess::NormalExit);
        QCOMPARE(room_->trivia().exitCode(), 0);
        const QList<Record> seen = room_->records();
        int replies = 0;
        for (int i = burst; i < seen.size(); ++i) {
            QVERIFY2(i <= ended || seen[i].from != E2eSession::BotNick, room_->dump(mark));
            replies += reply(seen[i]) ? 1 : 0;
        }
        QVERIFY2(replies < 6, room_->dump(mark)); // the exit did come while replies waited
    }
};

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
