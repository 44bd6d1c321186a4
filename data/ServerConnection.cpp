#include "data/ServerConnection.h"

#include "data/DataLog.h"
#include "data/SqlDialect.h"

#include <QSqlDriver>
#include <QSqlError>

#include <libpq-fe.h>

#include <algorithm>

namespace palvuro {

namespace {

// Keepalives and the TCP user timeout end a connection whose server stopped answering in the
// middle of a statement, which the server's own statement limit cannot.
QString connectOptions(const ServerAddress& address) {
    QString options =
        QStringLiteral("connect_timeout=%1;application_name=palvuro-trivia;"
                       "keepalives=1;keepalives_idle=5;keepalives_interval=1;keepalives_count=2;"
                       "tcp_user_timeout=%2")
            .arg(ServerConnection::ConnectTimeoutSeconds)
            .arg(ServerConnection::StatementTimeoutMs);
    if (!address.service().isEmpty())
        options += QStringLiteral(";service=") + address.service();
    return options;
}

} // namespace

ServerConnection::ServerConnection(ServerAddress address)
    : DbConnection(SqlDialect::postgres()), address_(std::move(address)) {}

ServerConnection::~ServerConnection() = default;

QString ServerConnection::location() const {
    return address_.shown();
}

void ServerConnection::setBusyTimeout(int milliseconds) {
    lockTimeoutMs_ = std::max(0, milliseconds);
    if (isOpen())
        execStatement(QStringLiteral("SET lock_timeout = %1").arg(lockTimeoutMs_));
}

QString ServerConnection::message(DbStatus status) const {
    const QString server = location();
    switch (status) {
    case DbStatus::Locked:
        return QStringLiteral("The database %1 did not answer in time. Please try again in a moment.")
            .arg(server);
    case DbStatus::ReadOnly:
        return QStringLiteral("The database %1 cannot be changed by this user.").arg(server);
    case DbStatus::CannotOpen:
        return QStringLiteral("The database %1 cannot be reached.").arg(server);
    default:
        return QStringLiteral("The database operation on %1 failed.").arg(server);
    }
}

QString ServerConnection::diskFullMessage() const {
    return QStringLiteral("The database server of %1 has no disk space left.").arg(location());
}

DbStatus ServerConnection::connect() {
    if (lastFailure_.isValid() && !lastFailure_.hasExpired(RetryWaitMs))
        return fail(DbStatus::CannotOpen, lastFailureText_);
    db().setHostName(address_.host());
    db().setPort(address_.port());
    db().setUserName(address_.user());
    db().setDatabaseName(address_.database());
    db().setConnectOptions(connectOptions(address_));
    DbStatus status = db().open() ? prepareConnection()
                                  : failSql(db().lastError(), QStringLiteral("(connecting to the server)"));
    if (status == DbStatus::Ok) {
        lastFailure_.invalidate();
        return status;
    }
    close();
    lastFailureText_ = errorText();
    lastFailure_.start();
    return status;
}

// Qt's driver names the handle's type by the typedef or by the struct behind it, as its
// compiler spelled it.
void ServerConnection::callStarts() {
    const QVariant handle = isOpen() ? db().driver()->handle() : QVariant();
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        watchdog_.arm(PQsocket(*static_cast<PGconn* const*>(handle.constData())));
}

void ServerConnection::callEnds() {
    watchdog_.disarm();
}

DbStatus ServerConnection::prepareConnection() {
    DbStatus status = execStatement(QStringLiteral("SET client_min_messages = warning"));
    if (status == DbStatus::Ok)
        status = execStatement(QStringLiteral("SET statement_timeout = %1").arg(StatementTimeoutMs));
    if (status == DbStatus::Ok)
        status = execStatement(QStringLiteral("SET lock_timeout = %1").arg(lockTimeoutMs_));
    return status == DbStatus::Ok ? ensureScoresTable() : status;
}

DbStatus ServerConnection::ensureScoresTable() {
    QStringList tables;
    DbStatus status = names(dialect().tableNames(), &tables);
    if (status != DbStatus::Ok)
        return status;
    setHasScoresTable(containsName(tables, QStringLiteral("Psystem")));
    if (hasScoresTable() || keepsLayout())
        return status;
    status = execStatement(dialect().createScoresTable());
    if (status == DbStatus::Ok)
        execStatement(dialect().createScoresIndex());
    // A create that lost the race to another bot's finds the table there.
    tables.clear();
    if (status != DbStatus::Ok && names(dialect().tableNames(), &tables) == DbStatus::Ok &&
        containsName(tables, QStringLiteral("Psystem")))
        status = DbStatus::Ok;
    setHasScoresTable(status == DbStatus::Ok);
    return status;
}

} // namespace palvuro
