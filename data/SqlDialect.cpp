#include "data/SqlDialect.h"

#include <QSqlError>

#include <limits>

namespace palvuro {

namespace {

// SQLite's primary result codes; the driver reports extended codes, whose low byte is the
// primary one.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADb = 26;

int sqliteCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    return ok ? code : -1;
}

DbStatus sqliteStatus(const QSqlError& error) {
    switch (sqliteCode(error)) {
    case kSqliteBusy:
    case kSqliteLocked:
        return DbStatus::Locked;
    case kSqliteReadOnly:
        return DbStatus::ReadOnly;
    case kSqliteCorrupt:
    case kSqliteNotADb:
        return DbStatus::NotADatabase;
    case kSqliteCantOpen:
        return DbStatus::CannotOpen;
    default:
        return DbStatus::Failed;
    }
}

// A server error without a SQLSTATE came from the client library: the connection failed.
bool serverConnectionError(const QString& state) {
    return state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
}

DbStatus postgresStatus(const QSqlError& error) {
    const QString state = error.nativeErrorCode();
    if (serverConnectionError(state))
        return DbStatus::CannotOpen;
    if (state == QLatin1String("42P01")) // the table went away: another operator deleted the category
        return DbStatus::NoSuchCategory;
    if (state == QLatin1String("42P07"))
        return DbStatus::AlreadyExists;
    // A statement or a lock that ran past its time limit, or a deadlock broken by the server.
    if (state == QLatin1String("57014") || state == QLatin1String("55P03") ||
        state == QLatin1String("40P01") || state == QLatin1String("40001"))
        return DbStatus::Locked;
    if (state == QLatin1String("25006") || state == QLatin1String("42501"))
        return DbStatus::ReadOnly;
    return DbStatus::Failed;
}

const QString kMaxPoints = QString::number(std::numeric_limits<qint64>::max());

} // namespace

const SqlDialect& SqlDialect::sqlite() {
    static const SqlDialect dialect(Engine::Sqlite);
    return dialect;
}

const SqlDialect& SqlDialect::postgres() {
    static const SqlDialect dialect(Engine::Postgres);
    return dialect;
}

QString SqlDialect::driver() const {
    return isServer() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

QString SqlDialect::tableNames() const {
    return isServer() ? QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema() "
                                       "ORDER BY tablename COLLATE \"C\"")
                      : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
}

QString SqlDialect::schemaNames() const {
    return isServer() ? QStringLiteral("SELECT relname FROM pg_class "
                                       "WHERE relnamespace = current_schema()::regnamespace")
                      : QStringLiteral("SELECT name FROM sqlite_master");
}

QString SqlDialect::rowId() const {
    return isServer() ? QStringLiteral("id") : QStringLiteral("rowid");
}

// The server enforces a varchar's length, the file does not; text keeps what either stores
// the same.
QString SqlDialect::createCategory(const QString& quotedTable) const {
    return isServer() ? QStringLiteral("CREATE TABLE %1 (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                                       "Questions text, Answers text)")
                            .arg(quotedTable)
                      : QStringLiteral("CREATE TABLE %1 (Questions varchar(255), Answers varchar(255))")
                            .arg(quotedTable);
}

bool SqlDialect::keepsTableName(const QString& name) const {
    return !isServer() || name.toUtf8().size() <= ServerNameBytes;
}

// Several bots may start on an empty database at once: on the server, whichever creates the
// table first wins, and the others find it there.
QString SqlDialect::createScoresTable() const {
    return isServer() ? QStringLiteral("CREATE TABLE IF NOT EXISTS Psystem (Nick text PRIMARY KEY NOT NULL, "
                                       "Points bigint NOT NULL DEFAULT 0)")
                      : QStringLiteral("CREATE TABLE Psystem (Nick TEXT PRIMARY KEY NOT NULL, "
                                       "Points INTEGER NOT NULL DEFAULT 0)");
}

QString SqlDialect::createScoresIndex() const {
    return isServer() ? QStringLiteral("CREATE INDEX IF NOT EXISTS PsystemByPoints ON Psystem "
                                       "(Points DESC, Nick COLLATE \"C\")")
                      : QStringLiteral("CREATE INDEX PsystemByPoints ON Psystem (Points DESC, Nick)");
}

QString SqlDialect::textOrder(const QString& column) const {
    return isServer() ? column + QLatin1String(" COLLATE \"C\"") : column;
}

QString SqlDialect::beginBatch() const {
    return isServer() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
}

QString SqlDialect::scoreCorrectAnswer() const {
    if (!isServer())
        return QString();
    return QStringLiteral(
               "INSERT INTO Psystem AS s (Nick, Points) VALUES (?, 1) ON CONFLICT (Nick) DO UPDATE "
               "SET Points = CASE WHEN s.Points >= %1 THEN s.Points ELSE s.Points + 1 END "
               "RETURNING Points")
        .arg(kMaxPoints);
}

// An integer sum that overflows turns into a real on the file and into an error on the
// server: capped before it can.
QString SqlDialect::storeScore(bool add) const {
    const QString newPoints =
        add ? QStringLiteral("CASE WHEN coalesce(Points, 0) > %1 - excluded.Points THEN %1 "
                             "ELSE coalesce(Points, 0) + excluded.Points END")
                  .arg(kMaxPoints)
            : QStringLiteral("excluded.Points");
    QString sql = QStringLiteral("INSERT INTO Psystem (Nick, Points) VALUES (?, ?) "
                                 "ON CONFLICT (Nick) DO UPDATE SET Points = %1")
                      .arg(newPoints);
    if (isServer())
        sql.replace(QLatin1String("coalesce(Points"), QLatin1String("coalesce(Psystem.Points"));
    return sql;
}

DbStatus SqlDialect::statusOf(const QSqlError& error) const {
    return isServer() ? postgresStatus(error) : sqliteStatus(error);
}

bool SqlDialect::isDiskFull(const QSqlError& error) const {
    return isServer() ? error.nativeErrorCode() == QLatin1String("53100") : sqliteCode(error) == kSqliteFull;
}

bool SqlDialect::lostConnection(const QSqlError& error) const {
    return isServer() && serverConnectionError(error.nativeErrorCode());
}

} // namespace palvuro
