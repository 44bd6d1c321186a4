#pragma once

#include "tests/support/ServerProcess.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace palvuro {

// A real PostgreSQL 15 for one test: a cluster made by initdb in a temporary folder, its server
// on a free port of 127.0.0.1 and on a socket in a folder of its own, every local user trusted.
// stop() and start() again keep the data, the port and the socket, as a restarted server would.
class PostgresServer : public ServerProcess {
public:
    static constexpr const char* User = "trivia";

    ~PostgresServer();

    // Empty when a server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    bool start(int timeoutMs = 30000);
    // A fast shutdown: the server ends every connection and stops.
    bool stop();
    // A server that takes connections and never answers (SIGSTOP), or one that goes on.
    void freeze(bool frozen);
    // The server's processes serving the connections to `database` open now stop answering
    // (SIGSTOP) while their connections stay up, or go on.
    void freezeConnections(const QString& database, bool frozen);
    // Disk syncs as a real server makes them (set before start()); off unless set.
    void setDurable(bool durable) { durable_ = durable; }
    // A new, empty database; false with error() saying why.
    bool createDatabase(const QString& name);
    // SQL as the cluster's owner, as another program runs it, the first column of every row it
    // gives appended to VALUES when asked; false with error() saying why.
    bool run(const QString& sql, const QString& database = QStringLiteral("postgres"),
             QStringList* values = nullptr);
    // The first column of every row `sql` gives; empty on a failure too.
    QStringList values(const QString& sql, const QString& database = QStringLiteral("postgres"));
    // postgresql://trivia@127.0.0.1:PORT/NAME
    QString url(const QString& database) const;
    // postgresql:///NAME?host=SOCKETFOLDER&user=trivia
    QString socketUrl(const QString& database) const;

private:
    bool durable_ = false;
    QList<qint64> frozenConnections_;
};

} // namespace palvuro

#define START_POSTGRES_OR_SKIP(server) START_SERVER_OR_SKIP(server)
