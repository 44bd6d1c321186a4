#include "chat/RoomTexts.h"
#include "data/ServerAddress.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "tests/support/BotDriver.h"
#include "tests/support/HostProcess.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TestFiles.h"

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

// The store on a real PostgreSQL server: the same operations as on the file, many bots at
// once, hostile texts, and a server that goes away.
class PgStoreTest : public QObject {
    Q_OBJECT

private:
    PostgresServer server_;
    QTemporaryDir folder_;
    int databases_ = 0;

    QString database() const { return QStringLiteral("league%1").arg(databases_); }

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
        // The file takes names of 64 characters; the server would cut them short unasked.
        QCOMPARE(db->createCategory(QString(64, 'M')), DbStatus::InvalidName);
        QVERIFY2(db->errorText().contains("at most 63 bytes"), qPrintable(db->errorText()));
        QCOMPARE(db->createCategory(QString(32, QChar(0xC4))), DbStatus::InvalidName);
        QCOMPARE(db->createCategory(QString(31, QChar(0xC4)) + 'M'), DbStatus::Ok);
        QCOMPARE(db->dropCategory(QString(31, QChar(0xC4)) + 'M'), DbStatus::Ok);

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
        freshStore();
        const QString url = server_.url(database());
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
        QVERIFY(imported({"--dry-run", "--database", url}, "file"));
        QCOMPARE(server_.values("SELECT relname FROM pg_class WHERE relnamespace = 'public'::regnamespace",
                                database()),
                 QStringList()); // a dry run changes nothing, the scores table included
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
        QCOMPARE(pointsOf(store, "BOB"), std::optional<qint64>(1));
        QVERIFY(bot.fatalErrors.isEmpty());
    }

    // A server that keeps the connection and stops answering costs one time limit, kept by the
    // client itself; the next operation connects afresh.
    void frozenConnectionIsGivenUp() {
        const TriviaStore store = freshStore();
        const auto db = store.connect();
        QCOMPARE(scoreOf(*db, "ANNA"), qint64(1));
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
        else if (onServer)
            QVERIFY2(server_.run(rename, database()), qPrintable(server_.error()));
        else
            QVERIFY(TestFiles::sql(files.filePath("Trivia.mdb"), rename).isActive());
        bot.say("Bob", "paris");
        QCOMPARE(bot.botLines().last(), RoomTexts::correctAnswer("BOB", 1, 40));
        for (int i = 0; i < 40; ++i)
            bot.bot.startGetrandomTimer();
        QCOMPARE(bot.botLines().mid(bot.botLines().size() - 2),
                 (QStringList{RoomTexts::noQuestions(), RoomTexts::triviaEnded()}));
        QVERIFY(!bot.bot.session().isRunning());
        QVERIFY(bot.fatalErrors.isEmpty());
    }

    // Two hosts, two channels, one league: a player's points from both rooms add up in one row.
    void twoRoomsShareOneLeague() {
        if (const QString why = IrcServer::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (!QFileInfo(qEnvironmentVariable("PALVURO_BIN_DIR") + "/palvuro-host").isExecutable())
            QSKIP("palvuro-host is not built in PALVURO_BIN_DIR");
        const TriviaStore store = freshStore();
        QVERIFY(seedLeague(store, HostProcess::answers()));
        IrcServer irc;
        QVERIFY2(irc.start(), qPrintable(irc.error()));
        IrcChatter anna("ANNA"), bob("BOB");
        const QStringList channels = {"#one", "#two"}, bots = {"TRIVIA", "QUIZ"};
        std::vector<std::unique_ptr<HostProcess>> hosts;
        for (int i = 0; i < 2; ++i) {
            hosts.push_back(std::make_unique<HostProcess>(irc.port(), channels[i], bots[i]));
            QVERIFY2(hosts[i]->start({"--database", server_.url(database())}), qPrintable(hosts[i]->error()));
        }
        QVERIFY(anna.connectTo(irc.port(), "#one") && bob.connectTo(irc.port(), "#one"));
        for (IrcChatter* chatter : {&anna, &bob}) {
            chatter->sendRaw("JOIN #two");
            QVERIFY(chatter->waitFor([](const IrcChatter::Message& m) { return m.command == "JOIN"; },
                                     chatter->receivedCount() - 1));
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(hosts[i]->waitHealthy(), hosts[i]->log());
            const QString bot = bots[i], channel = channels[i];
            const auto inRoom = [=](const IrcChatter::Message& m) {
                return m.command == "PRIVMSG" && m.nick == bot && m.params.value(0) == channel;
            };
            int at = anna.receivedCount();
            anna.say(channel, "!START HISTORY");
            auto question = anna.waitFor(
                [&](const IrcChatter::Message& m) {
                    return inRoom(m) && HostProcess::answers().contains(m.text());
                },
                at, 30000, &at);
            QVERIFY2(question, anna.dump(at).constData());
            bob.say(channel, HostProcess::answers().value(question->text()));
            const QString verdict = QStringLiteral("(*)BOB (*) Is Correct, Your Score Is [ %1 ]").arg(i + 1);
            QVERIFY2(
                anna.waitFor([&](const IrcChatter::Message& m) { return inRoom(m) && m.text() == verdict; },
                             at, 30000, &at),
                anna.dump(at).constData());
            anna.say(channel, "!QUIT");
        }
        const int at = bob.receivedCount();
        bob.say("#one", "!MYSCORE");
        QVERIFY2(bob.waitFor(
                     [](const IrcChatter::Message& m) {
                         return m.nick == "TRIVIA" && m.params.value(0) == "BOB" &&
                                m.text().contains(RoomTexts::ownScore(2));
                     },
                     at),
                 bob.dump(at).constData());
        QCOMPARE(pointsOf(store, "BOB"), std::optional<qint64>(2));
    }
};

QTEST_GUILESS_MAIN(PgStoreTest)
#include "tst_pgstore.moc"
