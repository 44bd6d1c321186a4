#include "chat/RoomTexts.h"
#include "data/ServerAddress.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "tests/support/BotDriver.h"
#include "tests/support/PostgresServer.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <limits>
#include <set>
#include <thread>

using namespace palvuro;

Q_DECLARE_METATYPE(palvuro::DbStatus)

namespace {

qint64 scoreOf(TriviaDatabase& db, const QString& nick) {
    qint64 score = 0;
    return db.scoreCorrectAnswer(nick, &score) == DbStatus::Ok ? score : -1;
}

std::optional<qint64> pointsOf(const TriviaStore& store, const QString& nick) {
    std::optional<qint64> points;
    store.connect()->lookupScore(nick, &points);
    return points;
}

QStringList categoriesOf(TriviaDatabase& db) {
    QStringList names;
    return db.listCategories(&names) == DbStatus::Ok ? names : QStringList{"<failed>"};
}

QStringList pairsOf(TriviaDatabase& db, const QString& category) {
    QStringList pairs;
    db.forEachPair(category,
                   [&](const TriviaDatabase::Pair& pair) { pairs << pair.question + '/' + pair.answer; });
    return pairs;
}

} // namespace

// The store on a real PostgreSQL server: the same operations as on the file, many bots at
// once, hostile texts, and a server that goes away.
class PgStoreTest : public QObject {
    Q_OBJECT

private:
    PostgresServer server_;
    QTemporaryDir folder_;
    int databases_ = 0;

    // A store on a database of its own, so that no test sees another's rows.
    TriviaStore freshStore(bool overSocket = false) {
        const QString name = QStringLiteral("league%1").arg(++databases_);
        if (!server_.createDatabase(name))
            qFatal("cannot create a database: %s", qPrintable(server_.error()));
        QString error;
        const auto address =
            ServerAddress::parse(overSocket ? server_.socketUrl(name) : server_.url(name), &error);
        if (!address)
            qFatal("bad address: %s", qPrintable(error));
        return TriviaStore(folder_.path(), *address);
    }

private Q_SLOTS:
    void initTestCase() { START_POSTGRES_OR_SKIP(server_); }

    void operationsMatchTheFile() {
        const TriviaStore store = freshStore(true);
        const auto db = store.connect();
        QCOMPARE(db->open(), DbStatus::Ok);
        QCOMPARE(db->createCategory(" History "), DbStatus::Ok);
        QCOMPARE(db->createCategory("history"), DbStatus::AlreadyExists);
        QCOMPARE(db->createCategory("psystem"), DbStatus::AlreadyExists);
        QCOMPARE(db->createCategory("Select"), DbStatus::InvalidName);
        QCOMPARE(db->createCategory("art"), DbStatus::Ok);
        QCOMPARE(categoriesOf(*db), (QStringList{"ART", "HISTORY"}));

        QCOMPARE(db->addPair("history", "CAPITAL OF FRANCE?", "  paris"), DbStatus::Ok);
        QCOMPARE(db->beginBatch(), DbStatus::Ok);
        QCOMPARE(db->addPairs("HISTORY", {{"Q2", "A2"}, {"Q3", ""}}), DbStatus::Ok);
        QCOMPARE(db->commitBatch(), DbStatus::Ok);
        QCOMPARE(pairsOf(*db, "HISTORY"), (QStringList{"CAPITAL OF FRANCE?/  paris", "Q2/A2", "Q3/"}));
        for (int i = 0; i < 20; ++i) { // the blank answer is never picked
            TriviaDatabase::Question picked;
            QCOMPARE(db->pickQuestion("History", &picked), DbStatus::Ok);
            QVERIFY(picked.answer == "PARIS" || picked.answer == "A2");
        }
        TriviaDatabase::Question none;
        QCOMPARE(db->pickQuestion("ART", &none), DbStatus::EmptyCategory);

        TriviaDatabase::Pair pair;
        QCOMPARE(db->findPairByAnswer("HISTORY", "a2", &pair), DbStatus::Ok);
        QCOMPARE(db->updatePair(pair, "Q2?", "B2"), DbStatus::Ok);
        QCOMPARE(db->findPairByQuestion("HISTORY", " q3 ", &pair), DbStatus::Ok);
        QCOMPARE(db->deletePair(pair), DbStatus::Ok);
        QCOMPARE(db->deletePair(pair), DbStatus::NotFound);
        QCOMPARE(pairsOf(*db, "HISTORY"), (QStringList{"CAPITAL OF FRANCE?/  paris", "Q2?/B2"}));

        // Another bot's connection sees the same league.
        const auto other = store.connect();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(scoreOf(*other, "anna"), qint64(i + 1));
        QCOMPARE(scoreOf(*db, "Bob"), qint64(1));
        QCOMPARE(scoreOf(*db, "ANNA"), qint64(1));
        QCOMPARE(db->storeScore("ZED", std::numeric_limits<qint64>::max() - 1, false), DbStatus::Ok);
        QCOMPARE(db->storeScore("ZED", 5, true), DbStatus::Ok); // capped, never wrapped
        QCOMPARE(scoreOf(*db, "ZED"), std::numeric_limits<qint64>::max());
        QList<TriviaDatabase::Score> top;
        QCOMPARE(other->topScores(&top), DbStatus::Ok);
        QStringList shown;
        for (const auto& score : top)
            shown << score.nick + ' ' + QString::number(score.points);
        // Ties in code point order, as on the file, whatever the server's locale.
        QCOMPARE(shown, (QStringList{"ZED 9223372036854775807", "anna 3", "ANNA 1", "Bob 1"}));
        QCOMPARE(db->setScore("Bob", 7), DbStatus::Ok);
        QCOMPARE(pointsOf(store, "Bob"), std::optional<qint64>(7));
        QCOMPARE(pointsOf(store, "BOB"), std::nullopt);

        QCOMPARE(other->dropCategory("history"), DbStatus::Ok);
        QCOMPARE(db->pickQuestion("HISTORY", &none), DbStatus::NoSuchCategory);
        QCOMPARE(db->deleteAllScores(), DbStatus::Ok);
        QCOMPARE(pointsOf(store, "anna"), std::nullopt);
    }

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
                    const qint64 score = scoreOf(*db, QStringLiteral("PLAYER%1").arg(i % 10));
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
            total += pointsOf(store, QStringLiteral("PLAYER%1").arg(n)).value_or(0);
        QCOMPARE(total, qint64(writers * answers));
        std::set<qint64> distinct;
        for (const auto& scores : seen)
            distinct.insert(scores.begin(), scores.end());
        QCOMPARE(distinct.size(), std::size_t(writers * answers));
    }

    // Chat text and typed names are values, never SQL: every table stays as it was.
    void hostileTextsStayData() {
        const TriviaStore store = freshStore();
        const auto db = store.connect();
        QCOMPARE(db->createCategory("MUSIC"), DbStatus::Ok);
        for (const QString& name : {QStringLiteral("X\"; DROP TABLE Psystem; --"), QStringLiteral("A B"),
                                    QStringLiteral("Music\" (id int); --")})
            QCOMPARE(db->createCategory(name), DbStatus::InvalidName);
        const QStringList hostile = {"'; DROP TABLE Psystem; --",
                                     "Robert'); DELETE FROM \"MUSIC\"; --",
                                     "$1 ? :nick \\' \\\\",
                                     "\"MUSIC\"",
                                     "é ü € ‰",
                                     QString(300, 'x')};
        for (const QString& text : hostile) {
            QCOMPARE(scoreOf(*db, text), qint64(1));
            QCOMPARE(db->addPair(text, "Q", "A"), DbStatus::NoSuchCategory);
            QCOMPARE(db->addPair("MUSIC", text, text), DbStatus::Ok);
            TriviaDatabase::Pair pair;
            QCOMPARE(db->findPairByQuestion(text, "Q", &pair), DbStatus::NoSuchCategory);
        }
        QCOMPARE(categoriesOf(*db), QStringList{"MUSIC"});
        QList<TriviaDatabase::Score> all;
        QCOMPARE(db->allScores(&all), DbStatus::Ok);
        QCOMPARE(all.size(), hostile.size());
        QStringList stored;
        for (const QString& text : hostile)
            stored << text + '/' + text;
        QCOMPARE(pairsOf(*db, "MUSIC"), stored);
    }

    // A league moves onto the server and back through the programs, every format unchanged.
    void leagueMovesInAndOut() {
        const QString bin = qEnvironmentVariable("PALVURO_BIN_DIR");
        if (!QFileInfo(bin + "/palvuro-import").isExecutable() ||
            !QFileInfo(bin + "/palvuro-export").isExecutable())
            QSKIP("palvuro-import and palvuro-export are not built in PALVURO_BIN_DIR");
        const auto run = [&](const QString& program, const QStringList& args) {
            QProcess process;
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(bin + '/' + program, args);
            const bool ok = process.waitForFinished(60000) && process.exitCode() == 0;
            if (!ok)
                qWarning().noquote() << program << args.join(' ') << process.readAll();
            return ok;
        };
        QTemporaryDir files, back;
        QVERIFY(BotDriver::prepareFolder(files.path()));
        {
            TriviaDatabase db(files.path());
            QVERIFY(db.addPairs("ART", {{"WHO PAINTED \"GUERNICA\"?", "PICASSO"},
                                        {"CAFÉ OR TEA?", "CAFÉ €"}}) == DbStatus::Ok);
        }
        const QString url = server_.url(QStringLiteral("league%1").arg(databases_ + 1));
        freshStore();
        const auto exported = [&](const QStringList& where, const QString& name) {
            return run("palvuro-export", QStringList{"--questions", files.filePath(name + ".tsv"), "--scores",
                                                     files.filePath(name + "-scores.tsv")} +
                                             where);
        };
        const auto imported = [&](const QStringList& where, const QString& name) {
            return run("palvuro-import", QStringList{files.filePath(name + ".tsv")} + where) &&
                   run("palvuro-import",
                       QStringList{"--scores", files.filePath(name + "-scores.tsv"), "--replace-scores"} +
                           where);
        };
        QVERIFY(exported({files.path()}, "file"));
        QVERIFY(imported({"--database", url}, "file"));
        QVERIFY(exported({"--database", url}, "server"));
        QVERIFY(imported({back.path()}, "server"));
        QVERIFY(exported({back.path()}, "back"));
        for (const QString& name : {QStringLiteral("server"), QStringLiteral("back")}) {
            for (const QString& kind : {QStringLiteral(".tsv"), QStringLiteral("-scores.tsv")}) {
                QFile first(files.filePath("file" + kind)), again(files.filePath(name + kind));
                QVERIFY(first.open(QIODevice::ReadOnly) && again.open(QIODevice::ReadOnly));
                QCOMPARE(again.readAll(), first.readAll());
            }
        }
    }

    // A game whose server stops: the correct answer is announced as not saved, and once the
    // server is back the game's connection comes back by itself and stores again.
    void serverGoneAndBack() {
        const TriviaStore store = freshStore();
        {
            const auto db = store.connect();
            QVERIFY(UsersList(store.folder()).save({"Anna"}));
            QCOMPARE(db->createCategory("HISTORY"), DbStatus::Ok);
            QCOMPARE(db->addPair("HISTORY", "CAPITAL OF FRANCE?", "PARIS"), DbStatus::Ok);
        }
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
        QCOMPARE(pointsOf(store, "BOB"), std::optional<qint64>(1));
        QVERIFY(bot.fatalErrors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PgStoreTest)
#include "tst_pgstore.moc"
