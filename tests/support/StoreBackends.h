#pragma once

#include "data/ServerAddress.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TestFiles.h"

#include <QStringList>
#include <QTest>

#include <optional>

namespace palvuro {

// The two back ends of the store, for suites that hold both to one contract: Trivia.mdb in a
// folder, and a database of its own on one real PostgreSQL server started on first use. Also SQL
// run by another program on either, and the reads the suites compare.
class StoreBackends {
public:
    // In initTestCase_data(), or a test's _data(): on the file, then on the server.
    static void addRows() {
        QTest::addColumn<bool>("onServer");
        QTest::newRow("file") << false;
        QTest::newRow("server") << true;
    }
    bool onServer() const {
        QFETCH_GLOBAL(bool, onServer);
        return onServer;
    }
    // In init(): the running row's store on `folder`.
    TriviaStore forRow(const QString& folder) { return on(onServer(), folder); }
    // A store on `folder`, or on a new database of the server; skips the test where no server can
    // run, and then gives the file's store (the caller returns when the server is not running).
    TriviaStore on(bool server, const QString& folder) {
        if (!server)
            return folder;
        if (const QString whyNot = PostgresServer::cannotRun(); !whyNot.isEmpty())
            QTest::qSkip(qPrintable(whyNot), __FILE__, __LINE__);
        else if (!server_.isRunning() && !server_.start())
            QTest::qFail(qPrintable(server_.error()), __FILE__, __LINE__);
        // Over the socket here; the suites of the server's own behaviour connect over TCP.
        return server_.isRunning() ? onNewDatabase(folder, true) : folder;
    }
    // A store on a new database of the running server.
    TriviaStore onNewDatabase(const QString& folder, bool overSocket = false) {
        ++databases_;
        QString error;
        const auto address =
            server_.createDatabase(database())
                ? ServerAddress::parse(overSocket ? server_.socketUrl(database()) : server_.url(database()),
                                       &error)
                : std::nullopt;
        if (!address)
            qFatal("no database to test on: %s", qPrintable(server_.error() + error));
        return TriviaStore(folder, *address);
    }
    // SQL as another program runs it on `store` (on the server, its newest database).
    bool sql(const TriviaStore& store, const QString& statement) {
        if (store.isServer())
            return server_.run(statement, database());
        return TestFiles::sql(store.folder() + '/' + TriviaDatabase::fileName(), statement).isActive();
    }

    PostgresServer& server() { return server_; }
    QString database() const { return QStringLiteral("league%1").arg(databases_); }

    // One correct answer: the new score, or -1 when it failed.
    static qint64 scoreOf(TriviaDatabase& db, const QString& nick) {
        qint64 score = 0;
        return db.scoreCorrectAnswer(nick, &score) == DbStatus::Ok ? score : -1;
    }
    static std::optional<qint64> pointsOf(const TriviaStore& store, const QString& nick) {
        std::optional<qint64> points;
        store.connect()->lookupScore(nick, &points);
        return points;
    }
    static QStringList categoriesOf(TriviaDatabase& db) {
        QStringList names;
        return db.listCategories(&names) == DbStatus::Ok ? names : QStringList{"<failed>"};
    }
    // A category's pairs in row order as "QUESTION/ANSWER", null shown as <null>.
    static QStringList pairsOf(TriviaDatabase& db, const QString& category) {
        QStringList pairs;
        db.forEachPair(category, [&](const TriviaDatabase::Pair& pair) {
            pairs << (pair.questionNull ? "<null>" : pair.question) + '/' +
                         (pair.answerNull ? "<null>" : pair.answer);
        });
        return pairs;
    }

private:
    PostgresServer server_;
    int databases_ = 0;
};

} // namespace palvuro
