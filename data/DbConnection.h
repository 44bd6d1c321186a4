#pragma once

#include "data/DbStatus.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

class QSqlError;
class QSqlQuery;

namespace palvuro {

class SqlDialect;

// One named connection of Qt SQL to the store, and what every operation on it shares: opening
// on demand, the text of the last failure, statements with their values bound, batches. What
// opening means (a file checked before it is touched, a server within a time limit) belongs to
// the store's own kind of connection.
class DbConnection {
public:
    explicit DbConnection(const SqlDialect& dialect);
    virtual ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    const SqlDialect& dialect() const { return dialect_; }
    // The file's path or the server's address, as the messages name it.
    virtual QString location() const = 0;

    DbStatus open();
    bool isOpen() const;
    virtual void close();
    DbStatus ensureOpen();
    // Open, and not on a store this program may only read.
    DbStatus ensureWritable();
    bool isReadOnly() const { return readOnly_; }
    bool hasScoresTable() const { return hasScoresTable_; }
    // Opening leaves the store as it found it (no scores table made, no journal changed): for a
    // run that must change nothing. A missing scores table is then made inside the first batch,
    // where the rollback takes it away again. Set before the first operation.
    void setKeepLayout(bool keep) { keepLayout_ = keep; }
    virtual void setBusyTimeout(int milliseconds) = 0;

    QString errorText() const { return error_; }
    DbStatus fail(DbStatus status, const QString& text);
    DbStatus failSql(const QSqlError& sqlError, const QString& statement);

    // Prepares and runs one statement with its values bound in order.
    DbStatus exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {});
    DbStatus prepare(QSqlQuery& query, const QString& sql);
    DbStatus execPrepared(QSqlQuery& query, const QVariantList& values);
    // Steps to the next row; a failure while stepping is a failure of the statement.
    DbStatus next(QSqlQuery& query, bool* hasRow);
    DbStatus execStatement(const QString& sql, const QVariantList& values = {});
    // The first column of every row `sql` selects.
    DbStatus names(const QString& sql, QStringList* out);
    static bool containsName(const QStringList& names, const QString& name);

    DbStatus beginBatch();
    DbStatus commitBatch();
    DbStatus rollbackBatch();
    // Undoes the open transaction after `status` ended it, keeping that failure's text.
    DbStatus rollBack(DbStatus status);

    QSqlDatabase& db() { return db_; }

protected:
    // Opens db_ and makes the scores table when it is missing.
    virtual DbStatus connect() = 0;
    // Around each call into the driver that waits for the store, to bound the wait.
    virtual void callStarts() {}
    virtual void callEnds() {}
    // The message box text for a status, naming the store.
    virtual QString message(DbStatus status) const = 0;
    virtual QString diskFullMessage() const = 0;
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    void setHasScoresTable(bool has) { hasScoresTable_ = has; }
    bool keepsLayout() const { return keepLayout_; }

private:
    // One call into the driver, between callStarts() and callEnds().
    bool bounded(const std::function<bool()>& call);
    // A scores table made inside the batch went with it.
    void batchUndone();

    const SqlDialect& dialect_;
    QString connectionName_;
    QSqlDatabase db_;
    QString error_;
    bool readOnly_ = false;
    bool hasScoresTable_ = true;
    bool keepLayout_ = false;
    bool scoresTableInBatch_ = false;
};

} // namespace palvuro
