#include "data/DbConnection.h"

#include "data/DataLog.h"
#include "data/SqlDialect.h"
#include "data/TableName.h"

#include <QSqlError>
#include <QSqlQuery>

namespace palvuro {

DbConnection::DbConnection(const SqlDialect& dialect) : dialect_(dialect) {
    // The object's address names the connection: unique among the live objects, and each
    // object removes its connection before the address can be reused.
    connectionName_ = QStringLiteral("palvuro-trivia-%1").arg(quintptr(this), 0, 16);
    db_ = QSqlDatabase::addDatabase(dialect.driver(), connectionName_);
}

DbConnection::~DbConnection() {
    if (db_.isValid())
        db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

bool DbConnection::isOpen() const {
    return db_.isValid() && db_.isOpen();
}

void DbConnection::close() {
    if (db_.isValid())
        db_.close();
}

DbStatus DbConnection::open() {
    if (isOpen())
        return DbStatus::Ok;
    if (!db_.isValid())
        return fail(DbStatus::CannotOpen,
                    QStringLiteral("The %1 driver of Qt is not installed.").arg(dialect_.driver()));
    return connect();
}

DbStatus DbConnection::ensureOpen() {
    return isOpen() ? DbStatus::Ok : open();
}

DbStatus DbConnection::ensureWritable() {
    const DbStatus status = ensureOpen();
    if (status != DbStatus::Ok)
        return status;
    if (readOnly_)
        return fail(DbStatus::ReadOnly, message(DbStatus::ReadOnly));
    return DbStatus::Ok;
}

DbStatus DbConnection::fail(DbStatus status, const QString& text) {
    error_ = text;
    return status;
}

// `statement` is the SQL text with its placeholders: the bound values (chat text) stay out of
// the log.
DbStatus DbConnection::failSql(const QSqlError& sqlError, const QString& statement) {
    const DbStatus status = dialect_.statusOf(sqlError);
    QString text = dialect_.isDiskFull(sqlError) ? diskFullMessage() : message(status);
    const QString detail =
        sqlError.databaseText().isEmpty() ? sqlError.driverText() : sqlError.databaseText();
    if (!detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(detail.trimmed());
    qCWarning(lcData).noquote() << "statement failed on" << location() << "-" << statement << "-"
                                << detail.trimmed();
    if (dialect_.lostConnection(sqlError))
        close(); // the next operation connects again
    return fail(status, text);
}

bool DbConnection::bounded(const std::function<bool()>& call) {
    callStarts();
    const bool done = call();
    callEnds();
    return done;
}

DbStatus DbConnection::prepare(QSqlQuery& query, const QString& sql) {
    query.setForwardOnly(true);
    return bounded([&] { return query.prepare(sql); }) ? DbStatus::Ok : failSql(query.lastError(), sql);
}

DbStatus DbConnection::exec(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    const DbStatus status = prepare(query, sql);
    return status == DbStatus::Ok ? execPrepared(query, values) : status;
}

DbStatus DbConnection::execPrepared(QSqlQuery& query, const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return bounded([&] { return query.exec(); }) ? DbStatus::Ok
                                                 : failSql(query.lastError(), query.lastQuery());
}

DbStatus DbConnection::next(QSqlQuery& query, bool* hasRow) {
    *hasRow = bounded([&] { return query.next(); });
    if (!*hasRow && query.lastError().isValid())
        return failSql(query.lastError(), query.lastQuery());
    return DbStatus::Ok;
}

// A statement without values goes as it is: the server prepares no schema change or
// transaction command.
DbStatus DbConnection::execStatement(const QString& sql, const QVariantList& values) {
    QSqlQuery query(db_);
    if (!values.isEmpty())
        return exec(query, sql, values);
    query.setForwardOnly(true);
    return bounded([&] { return query.exec(sql); }) ? DbStatus::Ok : failSql(query.lastError(), sql);
}

DbStatus DbConnection::names(const QString& sql, QStringList* out) {
    QSqlQuery query(db_);
    DbStatus status = exec(query, sql);
    bool hasRow = false;
    while (status == DbStatus::Ok && (status = next(query, &hasRow)) == DbStatus::Ok && hasRow)
        out->append(query.value(0).toString());
    return status;
}

bool DbConnection::containsName(const QStringList& names, const QString& name) {
    for (const QString& n : names) {
        if (TableName::sameName(n, name))
            return true;
    }
    return false;
}

DbStatus DbConnection::beginBatch() {
    DbStatus status = ensureWritable();
    if (status == DbStatus::Ok)
        status = execStatement(dialect_.beginBatch());
    if (status != DbStatus::Ok || hasScoresTable_)
        return status;
    status = execStatement(dialect_.createScoresTable());
    if (status != DbStatus::Ok)
        return rollBack(status);
    hasScoresTable_ = scoresTableInBatch_ = true;
    return status;
}

DbStatus DbConnection::commitBatch() {
    const DbStatus status = execStatement(QStringLiteral("COMMIT"));
    if (status != DbStatus::Ok)
        return rollBack(status);
    scoresTableInBatch_ = false;
    return status;
}

DbStatus DbConnection::rollbackBatch() {
    batchUndone();
    return execStatement(QStringLiteral("ROLLBACK"));
}

DbStatus DbConnection::rollBack(DbStatus status) {
    const QString error = error_;
    batchUndone();
    if (isOpen())
        execStatement(QStringLiteral("ROLLBACK"));
    error_ = error;
    return status;
}

void DbConnection::batchUndone() {
    if (scoresTableInBatch_)
        hasScoresTable_ = scoresTableInBatch_ = false;
}

} // namespace palvuro
