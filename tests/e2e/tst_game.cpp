#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Record = RoomTranscript::Record;

// Games and chat commands as a room sees them: palvuro-chat and palvuro-trivia as separate
// programs on a private X server, the operator's connect typed at the keyboard, the chatters
// speaking through the chat client's control input. One session serves every case in order.
class TestGame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void typicalGame();
    void commands_data();
    void commands();
    void emptyCategory();
    void missingUsersFile();
    void cleanupTestCase();

private:
    const RoomTranscript& room() const { return session_->transcript(); }
    QString roomSince(int mark) const { return room().dump(mark); }
    bool await(int from, const RoomTranscript::Match& match, Record* out, int* index = nullptr) const;
    bool nextBotLine(int from, Record* out, int* index) const;
    bool isGameLine(const Record& r) const;
    bool awaitGameLine() const;
    bool setGameRunning(bool running);

    std::unique_ptr<E2eSession> session_;
    QHash<QString, QString> answers_; // question as asked -> answer
    bool gameRunning_ = false;
    bool started_ = false;
};

namespace {

constexpr int kReplyMs = 30000;
constexpr int kAnswerSecs = 4;
constexpr int kPauseSecs = 2;

const QByteArray kQuestions = "category\tquestion\tanswer\n"
                              "History\tWho was the first emperor of Rome?\tAugustus\n"
                              "History\tIn which year did the Berlin Wall fall?\t1989\n"
                              "Art\tWho painted the Mona Lisa?\tLeonardo\n";

const QString kHelp = QStringLiteral("<b>COMMANDS ARE;\r\n!Start Category\r\n!Categories\r\n!Top\r\n!Q\r\n"
                                     "!MyScore\r\n!GetUsersScore UsersNickName\r\n!Quit</b>");

QString pauseLine() {
    return QStringLiteral("\r\n%1 Seconds Until Next Question.").arg(kPauseSecs);
}

} // namespace

void TestGame::initTestCase() {
    const QString why = E2eSession::cannotRun();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    session_ = std::make_unique<E2eSession>();
    QVERIFY2(session_->prepareProgramFolder(kQuestions, {QStringLiteral("EMPTY")},
                                            {QStringLiteral("ANNA"), QStringLiteral("BOB")}),
             qPrintable(session_->error()));
    session_->writeSettings({kAnswerSecs, kPauseSecs, false, {}});
    QVERIFY2(session_->start({QStringLiteral("ANNA"), QStringLiteral("BOB"), QStringLiteral("CAT")}),
             qPrintable(session_->error()));
    started_ = true;
    answers_.insert(QStringLiteral("WHO WAS THE FIRST EMPEROR OF ROME?"), QStringLiteral("AUGUSTUS"));
    answers_.insert(QStringLiteral("IN WHICH YEAR DID THE BERLIN WALL FALL?"), QStringLiteral("1989"));
}

bool TestGame::await(int from, const RoomTranscript::Match& match, Record* out, int* index) const {
    const auto found = room().waitFor(from, match, kReplyMs, index);
    if (found)
        *out = *found;
    return found.has_value();
}

bool TestGame::nextBotLine(int from, Record* out, int* index) const {
    return await(from, E2eSession::anyBotLine(), out, index);
}

bool TestGame::isGameLine(const Record& r) const {
    return r.kind == QLatin1String("say") &&
           (answers_.contains(r.text) || r.text.startsWith(QLatin1String("HINT: ")) ||
            r.text.startsWith(QLatin1String("Times Up!")));
}

// During a game the bot speaks on its own clock, and a chatter's line that reaches the room in
// the same reader tick as one of the bot's is judged together with it. The game's lines come
// seconds apart, so a line said just after one of them stands alone.
bool TestGame::awaitGameLine() const {
    Record line;
    return await(
        room().size(), [this](const Record& r) { return isGameLine(r); }, &line);
}

bool TestGame::setGameRunning(bool running) {
    if (running == gameRunning_)
        return true;
    const int mark = room().size();
    Record line;
    int at = 0;
    if (running) {
        session_->say(QStringLiteral("ANNA"), QStringLiteral("!START HISTORY"));
        // Nothing is said while the start waits before the first question: the bot reads
        // nothing then, and lines said meanwhile would be judged together.
        if (!await(mark, E2eSession::botSays(QStringLiteral("[Trivia Bot Started By ANNA]")), &line, &at) ||
            !nextBotLine(at + 1, &line, &at) || !answers_.contains(line.text))
            return false;
    } else {
        if (!awaitGameLine())
            return false;
        session_->say(QStringLiteral("ANNA"), QStringLiteral("!QUIT"));
        if (!await(mark, E2eSession::botSays(QStringLiteral("[Trivia Ended By ANNA]")), &line))
            return false;
    }
    gameRunning_ = running;
    return true;
}

void TestGame::typicalGame() {
    const int mark = room().size();
    session_->say(QStringLiteral("ANNA"), QStringLiteral("!start history"));
    int at = 0;
    Record start, question;
    QVERIFY2(await(mark, E2eSession::botSays(QStringLiteral("[Trivia Bot Started By ANNA]")), &start, &at),
             qPrintable(roomSince(mark)));
    QVERIFY2(nextBotLine(at + 1, &question, &at), qPrintable(roomSince(mark)));
    QVERIFY2(answers_.contains(question.text), qPrintable(roomSince(mark)));
    QVERIFY2(question.ms - start.ms >= 1900, qPrintable(roomSince(mark)));
    gameRunning_ = true;

    session_->say(QStringLiteral("ANNA"), QStringLiteral("!Q"));
    Record line;
    QVERIFY2(
        await(at, E2eSession::privateReply(QStringLiteral("ANNA"), "<b>" + question.text + "</b>"), &line),
        qPrintable(roomSince(mark)));

    // The hint shows every letter as "_ " but two different ones.
    const QString answer = answers_.value(question.text);
    Record hint;
    QVERIFY2(await(at, E2eSession::botSaysStarting(QStringLiteral("HINT: ")), &hint),
             qPrintable(roomSince(mark)));
    const QString shown = hint.text.mid(6);
    QCOMPARE(shown.size(), 2 * answer.size());
    int revealed = 0;
    for (int i = 0; i < answer.size(); ++i) {
        QCOMPARE(shown[2 * i + 1], QLatin1Char(' '));
        if (shown[2 * i] != QLatin1Char('_')) {
            QCOMPARE(shown[2 * i], answer[i]);
            ++revealed;
        }
    }
    QCOMPARE(revealed, 2);

    session_->say(QStringLiteral("BOB"), answer.toLower());
    Record correct;
    QVERIFY2(
        await(at,
              E2eSession::botSays(QStringLiteral("(*)BOB (*) Is Correct, Your Score Is [ 1 ]") + pauseLine()),
              &correct, &at),
        qPrintable(roomSince(mark)));
    {
        TriviaDatabase db(session_->programFolder());
        std::optional<qint64> points;
        QCOMPARE(db.lookupScore(QStringLiteral("BOB"), &points), DbStatus::Ok);
        QVERIFY(points.has_value());
        QCOMPARE(*points, qint64(1));
    }

    // After the pause the next question; nobody answers it, the hint comes at half time.
    Record next, hint2, timesUp, third;
    QVERIFY2(nextBotLine(at + 1, &next, &at) && answers_.contains(next.text), qPrintable(roomSince(mark)));
    QVERIFY2(next.ms - correct.ms >= 1500, qPrintable(roomSince(mark)));
    QVERIFY2(nextBotLine(at + 1, &hint2, &at) && hint2.text.startsWith(QLatin1String("HINT: ")),
             qPrintable(roomSince(mark)));
    QVERIFY2(nextBotLine(at + 1, &timesUp, &at), qPrintable(roomSince(mark)));
    QCOMPARE(timesUp.text, QStringLiteral("Times Up! Not Answered.") + pauseLine());
    const double half = double(hint2.ms - next.ms) / double(timesUp.ms - next.ms);
    QVERIFY2(half > 0.3 && half < 0.7, qPrintable(roomSince(mark)));
    QVERIFY2(nextBotLine(at + 1, &third, &at) && answers_.contains(third.text), qPrintable(roomSince(mark)));

    QVERIFY2(setGameRunning(false), qPrintable(roomSince(mark)));
}

void TestGame::commands_data() {
    QTest::addColumn<bool>("inGame");
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("to");    // private reply to; empty: a room line
    QTest::addColumn<QString>("reply"); // empty: no reply at all

    const QString room;
    const QString none;
    const QString unauthorized = QStringLiteral("Unauthorized User!");
    const QString notStarted = QStringLiteral("Trivia Not Started, Category Wasn't Specified Correctly.");
    // The commands anyone may use, and the refusal of !QUIT, answer alike in and out of a game.
    const auto addShared = [&](bool inGame) {
        const char* when = inGame ? "in a game" : "out of a game";
        const auto row = [when](const char* name) -> QTestData& {
            return QTest::addRow("%s, %s", name, when);
        };
        // clang-format off
        row("top")            << inGame << "CAT" << "!top"              << "CAT" << "<b>\r\nBOB 1\r\n</b>";
        row("my score")       << inGame << "BOB" << "!MYSCORE"          << "BOB" << "<b>Your Score Is 1</b>";
        row("user's score")   << inGame << "CAT" << "!GETUSERSCORE bob" << "CAT" << "<b>BOB's Score Is 1</b>";
        row("help")           << inGame << "CAT" << "!HELP"             << "CAT" << kHelp;
        row("categories")     << inGame << "CAT" << "!CATEGORIES"       << room
                              << "CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n";
        row("unauthorized quit") << inGame << "CAT" << "!QUIT"          << room  << unauthorized;
        // clang-format on
    };
    addShared(false);
    // clang-format off
    QTest::newRow("my score, never answered") << false << "CAT" << "!MyScore"   << "CAT" << "<b>Your Score Is Zero</b>";
    QTest::newRow("user's score, no nick")    << false << "CAT" << "!GETUSERSCORE" << "CAT"
                                              << "<b>Command Wasn't Specified Correctly.</b>";
    QTest::newRow("user's score, SQL for a nick") << false << "CAT" << "!GETUSERSCORE x';DROP TABLE Psystem;-- now"
                                                  << "CAT" << "<b>X';DROP's Score Is Zero</b>";
    QTest::newRow("text after a command")     << false << "CAT"  << "!TOP please"    << none << none;
    QTest::newRow("no command word first")    << false << "CAT"  << "see !TOP"       << none << none;
    QTest::newRow("question, out of a game")  << false << "ANNA" << "!Q"             << none << none;
    QTest::newRow("unauthorized start")       << false << "CAT"  << "!START HISTORY" << room << unauthorized;
    QTest::newRow("missing category")         << false << "ANNA" << "!START NOSUCH"  << room << notStarted;
    QTest::newRow("no category")              << false << "BOB"  << "!START"         << room << notStarted;
    QTest::newRow("quit, out of a game")      << false << "BOB"  << "!QUIT"          << room << "[Trivia Ended By BOB]";
    addShared(true);
    QTest::newRow("start, in a game")         << true  << "ANNA" << "!START ART"     << none << none;
    QTest::newRow("unauthorized start, in a game") << true << "CAT" << "!START ART"  << none << none;
    // clang-format on
}

void TestGame::commands() {
    QFETCH(bool, inGame);
    QFETCH(QString, nick);
    QFETCH(QString, message);
    QFETCH(QString, to);
    QFETCH(QString, reply);

    QVERIFY2(setGameRunning(inGame), qPrintable(roomSince(0)));
    if (inGame)
        QVERIFY2(awaitGameLine(), qPrintable(roomSince(0)));
    const int mark = room().size();
    session_->say(nick, message);
    int at = 0;
    Record line;
    if (reply.isEmpty()) {
        // Silence shows as the bot answering the next command first.
        session_->say(QStringLiteral("SENTINEL"), QStringLiteral("!MYSCORE"));
        QVERIFY2(await(mark,
                       E2eSession::privateReply(QStringLiteral("SENTINEL"),
                                                QStringLiteral("<b>Your Score Is Zero</b>")),
                       &line, &at),
                 qPrintable(roomSince(mark)));
    } else {
        QVERIFY2(await(mark, to.isEmpty() ? E2eSession::botSays(reply) : E2eSession::privateReply(to, reply),
                       &line, &at),
                 qPrintable(roomSince(mark)));
    }
    const QList<Record> seen = room().records();
    for (int i = mark; i < at; ++i) {
        if (seen[i].from == QLatin1String(E2eSession::BotNick))
            QVERIFY2(isGameLine(seen[i]), qPrintable(roomSince(mark)));
    }
}

void TestGame::emptyCategory() {
    QVERIFY(setGameRunning(false));
    const int mark = room().size();
    session_->say(QStringLiteral("ANNA"), QStringLiteral("!START EMPTY"));
    int at = 0;
    Record start, refusal, end;
    QVERIFY2(await(mark, E2eSession::botSays(QStringLiteral("[Trivia Bot Started By ANNA]")), &start, &at),
             qPrintable(roomSince(mark)));
    QVERIFY2(nextBotLine(at + 1, &refusal, &at), qPrintable(roomSince(mark)));
    QCOMPARE(refusal.text, QStringLiteral("This Category Contains No Questions, Please Select Another"));
    QVERIFY(refusal.ms - start.ms >= 1900);
    QVERIFY2(nextBotLine(at + 1, &end, &at), qPrintable(roomSince(mark)));
    QCOMPARE(end.text, QStringLiteral("[Trivia Ended]"));

    // That game is over: another starts at once.
    QVERIFY2(setGameRunning(true), qPrintable(roomSince(mark)));
    QVERIFY2(setGameRunning(false), qPrintable(roomSince(mark)));
}

void TestGame::missingUsersFile() {
    QVERIFY(setGameRunning(false));
    const QString away = session_->usersFile() + QStringLiteral(".away");
    QVERIFY(QFile::rename(session_->usersFile(), away));
    for (const char* command : {"!START HISTORY", "!QUIT"}) {
        const int mark = room().size();
        session_->say(QStringLiteral("ANNA"), QLatin1String(command));
        int at = 0;
        Record first, second;
        QVERIFY2(nextBotLine(mark, &first, &at) && nextBotLine(at + 1, &second, &at),
                 qPrintable(roomSince(mark)));
        QCOMPARE(first.text, QStringLiteral("No Authorized Users Assigned"));
        QCOMPARE(second.text, QStringLiteral("Unauthorized User!"));
    }
    QVERIFY(QFile::rename(away, session_->usersFile()));
    QVERIFY2(setGameRunning(true), qPrintable(roomSince(0)));
    QVERIFY2(setGameRunning(false), qPrintable(roomSince(0)));
}

void TestGame::cleanupTestCase() {
    if (!started_)
        return;
    // No chat line reached a table it did not name.
    TriviaDatabase db(session_->programFolder());
    QStringList categories;
    QCOMPARE(db.listCategories(&categories), DbStatus::Ok);
    QCOMPARE(categories, (QStringList{"ART", "EMPTY", "HISTORY"}));
    QList<TriviaDatabase::Score> top;
    QCOMPARE(db.topScores(&top), DbStatus::Ok);
    QCOMPARE(top.size(), 1);
    QCOMPARE(top[0].nick, QStringLiteral("BOB"));
    QCOMPARE(top[0].points, qint64(1));
    session_.reset();
}

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
