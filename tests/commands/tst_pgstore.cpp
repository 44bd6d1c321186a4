#include "chat/RoomTexts.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "tests/support/BotDriver.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/HostProcess.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/StoreBackends.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <set>
#include <thread>

using namespace palvuro;

namespace {

// Anna authorized, HISTORY with the questions and answers given.
bool seedLeague(const TriviaStore& store, const QHash<QString, QString>& pairs) {
    const auto db = store.connect();
    bool ok = UsersList(store.folder()).save({"Anna"}) && db->createCategory("HISTORY") == DbStatus::Ok;
    for (auto it = pairs.begin(); ok && it != pairs.end(); ++it)
        ok = db->addPair("HISTORY", it.key(), it.value()) == DbStatus::Ok;
    return ok;
}

const QHash<QString, QString> kFrance = {{"CAPITAL OF FRANCE?", "PARIS"}};

} // namespace

// The store on a real PostgreSQL server beyond what it shares with the file: many bots at once,
// a server that goes away, a host on a league.
class PgStoreTest : public QObject {
    Q_OBJECT

private:
    StoreBackends backends_;
    PostgresServer& server_ = backends_.server();
    QTemporaryDir folder_;

    QString database() const { return backends_.database(); }
    // A store on a database of its own, so that no test sees another's rows.
    TriviaStore freshStore() { return backends_.onNewDatabase(folder_.path()); }

private Q_SLOTS:
    void initTestCase() { START_POSTGRES_OR_SKIP(server_); }

    // Every correct answer is one statement that returns the new points: no point is lost or
    // counted twice, and no two answers see the same new score.
    void concurrentWritersLoseNothing() {
        const TriviaStore store = freshStore();
        constexpr int writers = 8;
        constexpr int answers = 1000;
        std::vector<std::vector<qint64>> seen(writers);
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([&, w] {
                const auto db = store.connect();
                for (int i = 0; i < answers; ++i) {
                    const qint64 score = StoreBackends::scoreOf(*db, QStringLiteral("PLAYER%1").arg(i % 10));
                    if (score < 0)
                        ++failures;
                    seen[w].push_back(score * 10 + i % 10);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(failures.load(), 0);
        qint64 total = 0;
        for (int n = 0; n < 10; ++n)
            total += StoreBackends::pointsOf(store, QStringLiteral("PLAYER%1").arg(n)).value_or(0);
        QCOMPARE(total, qint64(writers * answers));
        std::set<qint64> distinct;
        for (const auto& scores : seen)
            distinct.insert(scores.begin(), scores.end());
        QCOMPARE(distinct.size(), std::size_t(writers * answers));
    }

    // A game whose server stops: the correct answer is announced as not saved, and once the
    // server is back the game's connection comes back by itself and stores again.
    void serverGoneAndBack() {
        const TriviaStore store = freshStore();
        QVERIFY(seedLeague(store, kFrance));
        BotDriver bot(store);
        QVERIFY(bot.startGame());
        QVERIFY(server_.stop());
        bot.say("Bob", "paris");
        QCOMPARE(bot.botLines().last(), RoomTexts::correctNotSaved("BOB", 40));
        bot.say("Bob", "!MYSCORE"); // fails as on a file that cannot be opened: no reply
        QVERIFY(bot.desk.privateTexts().isEmpty());

        QVERIFY2(server_.start(), qPrintable(server_.error()));
        QTRY_COMPARE_WITH_TIMEOUT(store.connect()->open(), DbStatus::Ok, 10000);
        for (int i = 0; i < 40; ++i) // the pause, then the next question on the reconnected game
            bot.bot.startGetrandomTimer();
        QVERIFY(bot.bot.session().questionOpen());
        bot.say("Bob", "paris");
        QCOMPARE(bot.botLines().last(), RoomTexts::correctAnswer("BOB", 1, 40));
        QCOMPARE(StoreBackends::pointsOf(store, "BOB"), std::optional<qint64>(1));
        QVERIFY(bot.fatalErrors.isEmpty());
    }

    // A server that keeps the connection and stops answering costs one time limit, kept by the
    // client itself; the next operation connects afresh.
    void frozenConnectionIsGivenUp() {
        const TriviaStore store = freshStore();
        const auto db = store.connect();
        QCOMPARE(StoreBackends::scoreOf(*db, "ANNA"), qint64(1));
        server_.freezeConnections(database(), true);
        std::optional<qint64> points;
        QCOMPARE(db->lookupScore("ANNA", &points), DbStatus::CannotOpen);
        server_.freezeConnections(database(), false);
        QCOMPARE(db->lookupScore("ANNA", &points), DbStatus::Ok);
        QCOMPARE(points, std::optional<qint64>(1));
    }

    // Another operator changes the game's category under a running game: the file's behaviour
    // on the server too. The open question still scores; the next finds nothing to ask and
    // ends the game.
    void categoryChangedDuringAGame_data() {
        QTest::addColumn<bool>("onServer");
        QTest::addColumn<QString>("change");
        for (const bool onServer : {false, true}) {
            for (const char* change : {"deleted", "emptied", "renamed"})
                QTest::addRow("%s on the %s", change, onServer ? "server" : "file") << onServer << change;
        }
    }
    void categoryChangedDuringAGame() {
        QFETCH(bool, onServer);
        QFETCH(QString, change);
        QTemporaryDir files;
        const TriviaStore store = onServer ? freshStore() : TriviaStore(files.path());
        QVERIFY(seedLeague(store, kFrance));
        BotDriver bot(store);
        QVERIFY(bot.startGame());
        const auto other = store.connect();
        TriviaDatabase::Pair pair;
        const QString rename = "ALTER TABLE \"HISTORY\" RENAME TO \"STORY\"";
        if (change == "deleted")
            QCOMPARE(other->dropCategory("history"), DbStatus::Ok);
        else if (change == "emptied")
            QVERIFY(other->findPairByAnswer("HISTORY", "paris", &pair) == DbStatus::Ok &&
                    other->deletePair(pair) == DbStatus::Ok);
        else
            QVERIFY2(backends_.sql(store, rename), qPrintable(server_.error()));
        bot.say("Bob", "paris");
        QCOMPARE(bot.botLines().last(), RoomTexts::correctAnswer("BOB", 1, 40));
        for (int i = 0; i < 40; ++i)
            bot.bot.startGetrandomTimer();
        QCOMPARE(bot.botLines().mid(bot.botLines().size() - 2),
                 (QStringList{RoomTexts::noQuestions(), RoomTexts::triviaEnded()}));
        QVERIFY(!bot.bot.session().isRunning());
        QVERIFY(bot.fatalErrors.isEmpty());
    }

    // A host's bot plays on the league it was given; that many bots add up on one league is the
    // concurrent writers' case.
    void hostPlaysOnTheServerLeague() {
        if (const QString why = IrcServer::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (!QFileInfo(qEnvironmentVariable("PALVURO_BIN_DIR") + "/palvuro-host").isExecutable())
            QSKIP("palvuro-host is not built in PALVURO_BIN_DIR");
        const TriviaStore store = freshStore();
        QVERIFY(seedLeague(store, HostProcess::answers()));
        IrcServer irc;
        QVERIFY2(irc.start(), qPrintable(irc.error()));
        IrcChatter anna("ANNA"), bob("BOB");
        QVERIFY(anna.connectTo(irc.port(), "#one") && bob.connectTo(irc.port(), "#one"));
        HostProcess host(irc.port(), "#one", "TRIVIA");
        QVERIFY2(host.start({"--database", server_.url(database())}), qPrintable(host.error()));
        QVERIFY2(host.waitHealthy(), host.log());
        const ChannelGame game(anna, "#one", "TRIVIA", HostProcess::answers(), host.folder());
        int at = anna.receivedCount();
        anna.say("#one", "!START HISTORY");
        const auto question = game.nextQuestion(&at, 30000);
        QVERIFY2(question, anna.dump(at).constData());
        bob.say("#one", game.answerTo(*question));
        QVERIFY2(game.nextStarting("(*)BOB (*) Is Correct, Your Score Is [ 1 ]", &at, 30000),
                 anna.dump(at).constData());
        QCOMPARE(StoreBackends::pointsOf(store, "BOB"), std::optional<qint64>(1));
    }
};

QTEST_GUILESS_MAIN(PgStoreTest)
#include "tst_pgstore.moc"
