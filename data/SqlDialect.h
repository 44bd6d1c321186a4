#pragma once

#include "data/DbStatus.h"

#include <QString>

class QSqlError;

namespace palvuro {

// Where the SQL of the two stores differs: SQLite for the file, PostgreSQL for a server. Every
// statement text that is not the same on both comes from here, and so does the reading of
// each engine's error codes.
class SqlDialect {
public:
    static const SqlDialect& sqlite();
    static const SqlDialect& postgres();

    bool isServer() const { return engine_ == Engine::Postgres; }
    // Qt's driver for the engine.
    QString driver() const;

    // Every table's name as stored, ascending as the file orders them (by code point).
    QString tableNames() const;
    // Every name a new table could collide with.
    QString schemaNames() const;
    // The column that names a category row for the editors and the picks.
    QString rowId() const;
    QString createCategory(const QString& quotedTable) const;
    // Whether the engine keeps `name` whole as a table name: the server cuts longer names
    // short without a word, and two long names could then meet in one table.
    bool keepsTableName(const QString& name) const;
    // Bytes of a table name the server keeps.
    static constexpr int ServerNameBytes = 63;
    // The scores table, and the index that orders it for the top list.
    QString createScoresTable() const;
    QString createScoresIndex() const;
    // `column` in the order the file sorts text, whatever the server's locale.
    QString textOrder(const QString& column) const;
    // The start of a batch: on the file it takes the write lock at once, so that a batch
    // never fails half-way for want of it.
    QString beginBatch() const;
    // A correct answer's whole change in one statement that returns the new points, or empty
    // where the engine needs a transaction of several statements instead.
    QString scoreCorrectAnswer() const;
    // A score set or added to, created when missing.
    QString storeScore(bool add) const;

    DbStatus statusOf(const QSqlError& error) const;
    bool isDiskFull(const QSqlError& error) const;
    // The connection itself is gone: the next operation must connect again.
    bool lostConnection(const QSqlError& error) const;

private:
    enum class Engine { Sqlite, Postgres };
    explicit SqlDialect(Engine engine) : engine_(engine) {}
    Engine engine_;
};

} // namespace palvuro
