// The store on a real PostgreSQL server, as a league of several bots uses it: a correct
// answer's store-and-read-back while 8 bots write at once, the points lost by 8 writers, the
// top ten of 1,000,000 players, and the longest reader tick while the server does not answer.
// Prints "figure: NAME VALUE UNIT" lines; skips, saying why, where no server can run here.

#include "data/ServerAddress.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "tests/support/BotDriver.h"
#include "tests/support/PostgresServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace palvuro;

namespace {

constexpr int kWriters = 8;
constexpr int kAnswers = 1000;
constexpr int kNicks = 10;
constexpr int kPlayers = 1000000;

void figure(const char* name, double value, const char* unit) {
    std::printf("figure: %s %.6g %s\n", name, value, unit);
    std::fflush(stdout);
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

TriviaStore storeOn(PostgresServer& server, const QString& folder, const QString& name) {
    if (!server.createDatabase(name))
        qFatal("cannot create a database: %s", qPrintable(server.error()));
    QString error;
    return TriviaStore(folder, *ServerAddress::parse(server.url(name), &error));
}

void scoring(const TriviaStore& store) {
    std::vector<double> millis;
    std::mutex lock;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&] {
            const auto db = store.connect();
            db->open();
            std::vector<double> own;
            QElapsedTimer timer;
            for (int i = 0; i < kAnswers; ++i) {
                qint64 score = 0;
                timer.start();
                db->scoreCorrectAnswer(QStringLiteral("PLAYER%1").arg(i % kNicks), &score);
                own.push_back(timer.nsecsElapsed() / 1e6);
            }
            const std::lock_guard<std::mutex> guard(lock);
            millis.insert(millis.end(), own.begin(), own.end());
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    qint64 total = 0;
    const auto db = store.connect();
    for (int n = 0; n < kNicks; ++n) {
        std::optional<qint64> points;
        db->lookupScore(QStringLiteral("PLAYER%1").arg(n), &points);
        total += points.value_or(0);
    }
    figure("pg_score_update_ms", median(millis), "ms");
    figure("pg_lost_points", double(kWriters * kAnswers - total), "points");
}

void topTen(const PostgresServer& server, const TriviaStore& store, const QString& name) {
    const auto db = store.connect();
    db->open(); // makes Psystem
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("filler"));
        raw.setHostName(QLatin1String(PostgresServer::Host));
        raw.setPort(server.port());
        raw.setUserName(QLatin1String(PostgresServer::User));
        raw.setDatabaseName(name);
        QSqlQuery fill(raw);
        if (!raw.open() ||
            !fill.exec(QStringLiteral("INSERT INTO Psystem SELECT 'P' || g, (g::bigint * 7919) % 1000003 "
                                      "FROM generate_series(1, %1) g")
                           .arg(kPlayers)))
            qFatal("cannot fill the scores: %s %s", qPrintable(raw.lastError().text()),
                   qPrintable(fill.lastError().text()));
        QSqlQuery(raw).exec(QStringLiteral("ANALYZE Psystem"));
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("filler"));
    std::vector<double> millis;
    QElapsedTimer timer;
    for (int i = 0; i < 50; ++i) {
        QList<TriviaDatabase::Score> top;
        timer.start();
        db->topScores(&top);
        millis.push_back(timer.nsecsElapsed() / 1e6);
        if (top.size() != 10)
            qFatal("the top list has %d rows", int(top.size()));
    }
    figure("pg_top10_ms", median(millis), "ms");
}

// The longest two reader ticks (one of them reading a line) over `ms` of lines said in the room.
double longestTick(BotDriver& bot, int ms) {
    double longest = 0;
    QElapsedTimer whole;
    whole.start();
    const QStringList lines = {"paris", "!TOP", "!MYSCORE", "!CATEGORIES"};
    for (int i = 0; whole.elapsed() < ms; ++i) {
        QElapsedTimer tick;
        tick.start();
        bot.say("Bob", lines[i % lines.size()]);
        // say() is two reader ticks, one of which reads the line: counted whole, never halved
        longest = std::max(longest, tick.nsecsElapsed() / 1e6);
    }
    return longest;
}

// The game's connection is lost with a restart, then the server takes connections and never
// answers: every command and correct answer of the next seconds must give up within the limit.
// Then the server answers again, but no longer on the game's connection, which stays open.
void outage(PostgresServer& server, const TriviaStore& store, const QString& database) {
    {
        const auto db = store.connect();
        UsersList(store.folder()).save({"Anna"});
        db->createCategory("HISTORY");
        db->addPair("HISTORY", "CAPITAL OF FRANCE?", "PARIS");
    }
    BotDriver bot(store);
    if (!bot.startGame())
        qFatal("no game on the server");
    server.stop();
    server.start();
    server.freeze(true);
    double longest = longestTick(bot, 10000);
    server.freeze(false);
    QElapsedTimer back;
    back.start();
    while (!bot.bot.session().questionOpen() && back.elapsed() < 20000)
        bot.bot.startGetrandomTimer(); // the pause, then a question on the game's new connection
    if (!bot.bot.session().questionOpen())
        qFatal("the game did not come back");
    server.freezeConnections(database, true);
    longest = std::max(longest, longestTick(bot, 10000));
    server.freezeConnections(database, false);
    figure("pg_outage_reader_stall_ms", longest, "ms");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString whyNot = PostgresServer::cannotRun();
    if (!whyNot.isEmpty()) {
        std::printf("bench_pg skipped: %s\n", qPrintable(whyNot));
        return 0;
    }
    PostgresServer server;
    server.setDurable(true);
    if (!server.start()) {
        std::fprintf(stderr, "bench_pg: %s\n", qPrintable(server.error()));
        return 1;
    }
    QTemporaryDir folder;
    scoring(storeOn(server, folder.path(), QStringLiteral("scoring")));
    topTen(server, storeOn(server, folder.path(), QStringLiteral("top")), QStringLiteral("top"));
    outage(server, storeOn(server, folder.path(), QStringLiteral("outage")), QStringLiteral("outage"));
    return 0;
}
