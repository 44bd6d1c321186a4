#include "tests/support/PostgresServer.h"

#include "tests/support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <signal.h>

namespace palvuro {

namespace {

const QString kBinaries = QStringLiteral("/usr/lib/postgresql/15/bin/");

} // namespace

PostgresServer::~PostgresServer() {
    stop();
}

QString PostgresServer::cannotRun() {
    const QString why =
        ServerProcess::cannotRun(kBinaries + QStringLiteral("postgres"), QStringLiteral("postgresql"));
    if (!why.isEmpty())
        return why;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral(
            "Qt's PostgreSQL driver is not installed (libqt6sql6-psql; tools/install-deps.sh "
            "installs it)");
    return {};
}

// Durability is the server's business, not what the tests check: no disk syncs unless asked.
bool PostgresServer::start(int timeoutMs) {
    // The cluster is made once: a restarted server keeps its data.
    if (!QFile::exists(path(QStringLiteral("data/PG_VERSION"))) &&
        !(prepare(1) && QDir(folder()).mkpath(QStringLiteral("socket")) &&
          runAsServerUser(kBinaries + QStringLiteral("initdb"),
                          {QStringLiteral("--pgdata=") + path(QStringLiteral("data")),
                           QStringLiteral("--username=") + QLatin1String(User),
                           QStringLiteral("--auth=trust"), QStringLiteral("--encoding=UTF8"),
                           QStringLiteral("--locale=C"), QStringLiteral("--no-sync")})))
        return false;
    if (!launch(kBinaries + QStringLiteral("postgres"),
                {QStringLiteral("-D"), path(QStringLiteral("data")), QStringLiteral("-p"),
                 QString::number(port()), QStringLiteral("-k"), path(QStringLiteral("socket")),
                 QStringLiteral("-c"), QStringLiteral("listen_addresses=") + QLatin1String(Host),
                 QStringLiteral("-c"), durable_ ? QStringLiteral("fsync=on") : QStringLiteral("fsync=off"),
                 QStringLiteral("-c"), QStringLiteral("max_connections=60")},
                timeoutMs))
        return false;
    // The port opens before the server takes connections.
    return waitUntil([this] { return run(QStringLiteral("SELECT 1")) || !isRunning(); }, timeoutMs, 50) &&
           isRunning();
}

bool PostgresServer::stop() {
    freezeConnections({}, false); // a stopped process would hold the shutdown up
    return ServerProcess::stop(SIGINT);
}

void PostgresServer::freezeConnections(const QString& database, bool frozen) {
    if (frozen) {
        for (const QString& pid :
             values(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = '%1'").arg(database)))
            frozenConnections_.append(pid.toLongLong());
    }
    for (const qint64 pid : std::as_const(frozenConnections_))
        ::kill(pid_t(pid), frozen ? SIGSTOP : SIGCONT);
    if (!frozen)
        frozenConnections_.clear();
}

void PostgresServer::freeze(bool frozen) {
    signal(frozen ? SIGSTOP : SIGCONT);
}

bool PostgresServer::createDatabase(const QString& name) {
    return run(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
}

QStringList PostgresServer::values(const QString& sql, const QString& database) {
    QStringList values;
    run(sql, database, &values);
    return values;
}

// On a connection of its own.
bool PostgresServer::run(const QString& sql, const QString& database, QStringList* values) {
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("postgres-rig"));
        db.setHostName(QLatin1String(Host));
        db.setPort(port());
        db.setUserName(QLatin1String(User));
        db.setDatabaseName(database);
        QSqlQuery query(db);
        done = db.open() && query.exec(sql);
        while (done && values && query.next())
            values->append(query.value(0).toString());
        if (!done)
            fail(db.lastError().text() + query.lastError().text());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("postgres-rig"));
    return done;
}

QString PostgresServer::url(const QString& database) const {
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(QLatin1String(User), QLatin1String(Host))
        .arg(port())
        .arg(database);
}

QString PostgresServer::socketUrl(const QString& database) const {
    return QStringLiteral("postgresql:///%1?host=%2&port=%3&user=%4")
        .arg(database, path(QStringLiteral("socket")))
        .arg(port())
        .arg(QLatin1String(User));
}

} // namespace palvuro
