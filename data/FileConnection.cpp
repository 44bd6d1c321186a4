#include "data/FileConnection.h"

#include "data/SqlDialect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QtEndian>

#include <map>
#include <mutex>
#include <utility>

namespace palvuro {

namespace {

constexpr int kDefaultBusyTimeoutMs = 3000;

enum class FileCheck { Ok, Unreadable, Foreign };

// A non-empty file must begin with SQLite's header and hold whole pages. Checked on the bytes
// before SQLite opens the file, so that a foreign or cut file is never written to (SQLite would
// rewrite the header when it switches the journal mode). A file cut at a page boundary shows
// itself to SQLite's own first read, which also comes before any write.
FileCheck checkDatabaseFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileCheck::Unreadable;
    const qint64 size = file.size();
    if (size == 0)
        return FileCheck::Ok; // SQLite takes an empty file as a new, empty database
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return FileCheck::Foreign;
    const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
    const quint32 rawPageSize = qFromBigEndian<quint16>(bytes + 16);
    const qint64 pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || size % pageSize != 0)
        return FileCheck::Foreign;
    return FileCheck::Ok;
}

// SQLite's locks on a file are POSIX record locks, which belong to the process: closing any
// descriptor of the file drops every lock the process holds on it, those of a game connection
// that stays open included. Another program closing its own connection would then take itself
// for the file's last user, checkpoint the WAL and delete it, and that game connection's later
// commits would go to the deleted file: announced, and never seen by anyone. So the file's
// bytes are read only while no connection of this process has it open; the first one read
// them.
class OpenFiles {
public:
    static bool isOpen(const QString& path) {
        const std::lock_guard<std::mutex> lock(mutex());
        const auto it = counts().find(path);
        return it != counts().end() && it->second > 0;
    }
    static void add(const QString& path) {
        const std::lock_guard<std::mutex> lock(mutex());
        ++counts()[path];
    }
    static void remove(const QString& path) {
        const std::lock_guard<std::mutex> lock(mutex());
        const auto it = counts().find(path);
        if (it != counts().end() && --it->second <= 0)
            counts().erase(it);
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::map<QString, int>& counts() {
        static std::map<QString, int> c;
        return c;
    }
};

} // namespace

FileConnection::FileConnection(QString folder)
    : DbConnection(SqlDialect::sqlite()), folder_(std::move(folder)), busyTimeoutMs_(kDefaultBusyTimeoutMs) {}

FileConnection::~FileConnection() {
    FileConnection::close();
}

QString FileConnection::fileName() {
    return QStringLiteral("Trivia.mdb");
}

QString FileConnection::path() const {
    return folder_ + QLatin1Char('/') + fileName();
}

QString FileConnection::location() const {
    return QDir::toNativeSeparators(path());
}

void FileConnection::close() {
    DbConnection::close();
    if (!openFile_.isEmpty())
        OpenFiles::remove(std::exchange(openFile_, QString()));
}

void FileConnection::setBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = std::max(0, milliseconds);
    if (isOpen())
        execStatement(QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeoutMs_));
}

QString FileConnection::message(DbStatus status) const {
    const QString file = location();
    switch (status) {
    case DbStatus::Locked:
        return QStringLiteral(
                   "The database file %1 is locked by another program. Please try again in a moment.")
            .arg(file);
    case DbStatus::ReadOnly:
        return QStringLiteral("The database file %1 cannot be changed: the file or its folder is read-only.")
            .arg(file);
    case DbStatus::NotADatabase:
        return QStringLiteral(
                   "The file %1 is not a trivia database, or it is damaged. It was left unchanged.")
            .arg(file);
    case DbStatus::CannotOpen:
        return QStringLiteral("The database file %1 cannot be opened.").arg(file);
    default:
        return QStringLiteral("The database operation on %1 failed.").arg(file);
    }
}

QString FileConnection::diskFullMessage() const {
    return QStringLiteral("The disk holding %1 is full.").arg(location());
}

DbStatus FileConnection::connect() {
    const QFileInfo folder(folder_);
    const QFileInfo file(path());
    const QString shownPath = location();
    if (!folder.isDir())
        return fail(DbStatus::CannotOpen,
                    QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder_)));
    if (file.exists()) {
        if (!file.isFile())
            return fail(DbStatus::CannotOpen, QStringLiteral("%1 is not a file.").arg(shownPath));
        const FileCheck check =
            OpenFiles::isOpen(file.canonicalFilePath()) ? FileCheck::Ok : checkDatabaseFile(path());
        if (check == FileCheck::Unreadable)
            return fail(DbStatus::CannotOpen,
                        QStringLiteral("The database file %1 cannot be read.").arg(shownPath));
        if (check == FileCheck::Foreign)
            return fail(DbStatus::NotADatabase, message(DbStatus::NotADatabase));
    } else if (!folder.isWritable()) {
        return fail(DbStatus::ReadOnly,
                    QStringLiteral("The database file %1 cannot be created: its folder is read-only.")
                        .arg(shownPath));
    }
    setReadOnly(file.exists() && !(file.isWritable() && folder.isWritable()));
    DbStatus status = connectAs(false);
    if (isReadOnly() && (status == DbStatus::CannotOpen || status == DbStatus::ReadOnly))
        status = connectAs(true); // a WAL file in a read-only folder: no shared-memory file can be made
    return status;
}

// Opens the connection and prepares it; `immutable` opens a read-only file that SQLite may
// not even lock (its folder cannot hold the lock files WAL mode needs).
DbStatus FileConnection::connectAs(bool immutable) {
    if (immutable) {
        db().setDatabaseName(QUrl::fromLocalFile(path()).toString(QUrl::FullyEncoded) +
                             QLatin1String("?immutable=1"));
        db().setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db().setDatabaseName(path());
        db().setConnectOptions(isReadOnly() ? QStringLiteral("QSQLITE_OPEN_READONLY") : QString());
    }
    if (!db().open())
        return failSql(db().lastError(), QStringLiteral("(opening the file)"));
    openFile_ = QFileInfo(path()).canonicalFilePath();
    if (!openFile_.isEmpty())
        OpenFiles::add(openFile_);
    const DbStatus status = prepareConnection();
    if (status != DbStatus::Ok)
        close();
    return status;
}

DbStatus FileConnection::prepareConnection() {
    DbStatus status = execStatement(QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeoutMs_));
    // A read before any write: a damaged file shows itself here and stays untouched.
    QStringList tables;
    if (status == DbStatus::Ok)
        status = names(dialect().tableNames(), &tables);
    if (status != DbStatus::Ok)
        return status;
    setHasScoresTable(containsName(tables, QStringLiteral("Psystem")));
    if (isReadOnly() || keepsLayout())
        return DbStatus::Ok;
    // WAL lets the other connections read while one writes. Where it cannot be set (another
    // program holds the file in the old journal mode) the file keeps its mode and still works.
    execStatement(QStringLiteral("PRAGMA journal_mode = WAL"));
    status = execStatement(QStringLiteral("PRAGMA synchronous = FULL"));
    if (status == DbStatus::Ok && !hasScoresTable())
        status = execStatement(dialect().createScoresTable());
    if (status != DbStatus::Ok)
        return status;
    setHasScoresTable(true);
    QStringList indexes;
    if (names(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'"), &indexes) ==
            DbStatus::Ok &&
        !containsName(indexes, QStringLiteral("PsystemByPoints"))) {
        // Only speeds up the top list; a failure (a Psystem of another layout) costs nothing else.
        execStatement(dialect().createScoresIndex());
    }
    return DbStatus::Ok;
}

} // namespace palvuro
