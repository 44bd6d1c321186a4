#include "data/TriviaDatabase.h"

#include "data/DataLog.h"
#include "data/Spaces.h"

#include "data/TableName.h"
#include "platform/LetterCase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <QtEndian>

#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <utility>

namespace palvuro {

namespace {

constexpr int kDefaultBusyTimeoutMs = 3000;
// Random rowids tried before a pick counts the usable rows instead; with a table at least half
// full the count is needed less often than once in ten million picks.
constexpr int kPickTries = 24;
constexpr int kTopCount = 10;

// SQLite's primary result codes; the driver reports extended codes, whose low byte is the
// primary one.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADb = 26;

// A pick's row: usable when the question and the answer have values and the answer is not
// blank. The same rule in SQL, for the exact fallback of a pick.
const QLatin1String kUsableRow("Questions IS NOT NULL AND Answers IS NOT NULL AND ltrim(Answers, ' ') <> ''");

// A null QString would be bound as SQL NULL; a value the caller gives is always text.
QVariant textValue(const QString& text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

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

DbStatus statusOf(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return DbStatus::Failed;
    switch (code) {
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

bool isDiskFull(const QSqlError& error) {
    bool ok = false;
    return (error.nativeErrorCode().toInt(&ok) & 0xff) == kSqliteFull && ok;
}

} // namespace

// Each object is one named connection of Qt's SQLite driver. Qt SQL keeps the program on one
// dependency for its data (the system's SQLite, through Debian's Qt SQLite driver), needs no
// pooling, and gives every object its own connection by name, so that the game, a command and
// an editor can each hold one on the same file. WAL mode lets them read while one writes; the
// busy timeout lets a writer wait briefly for another; synchronous=FULL makes every committed
// score survive the program being killed right after.
//
// Values are stored as given: SQLite does not enforce the columns' 255 characters, and the
// editor's boxes already hold no more, so cutting here could only lose a caller's text.
struct TriviaDatabase::Private {
    QString folder;
    QString connectionName;
    QSqlDatabase db;
    QString openFile; // the file's canonical path while this connection has it open
    QString error;
    int busyTimeoutMs = kDefaultBusyTimeoutMs;
    bool readOnly = false;
    bool hasScoresTable = true;
    std::mt19937_64 random;

    QString path() const { return folder + QLatin1Char('/') + TriviaDatabase::fileName(); }

    DbStatus fail(DbStatus status, const QString& text) {
        error = text;
        return status;
    }

    // The message box text for a status that names the file.
    QString message(DbStatus status) const {
        const QString file = QDir::toNativeSeparators(path());
        switch (status) {
        case DbStatus::Locked:
            return QStringLiteral(
                       "The database file %1 is locked by another program. Please try again in a moment.")
                .arg(file);
        case DbStatus::ReadOnly:
            return QStringLiteral(
                       "The database file %1 cannot be changed: the file or its folder is read-only.")
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

    // `statement` is the SQL text with its placeholders: the bound values (chat text) stay out
    // of the log.
    DbStatus failSql(const QSqlError& sqlError, const QString& statement) {
        const DbStatus status = statusOf(sqlError);
        QString text =
            isDiskFull(sqlError)
                ? QStringLiteral("The disk holding %1 is full.").arg(QDir::toNativeSeparators(path()))
                : message(status);
        const QString detail =
            sqlError.databaseText().isEmpty() ? sqlError.driverText() : sqlError.databaseText();
        if (!detail.isEmpty())
            text += QStringLiteral(" (%1)").arg(detail);
        qCWarning(lcData).noquote() << "statement failed on" << QDir::toNativeSeparators(path()) << "-"
                                    << statement << "-" << detail;
        return fail(status, text);
    }

    // Prepares and runs one statement with its values bound in order.
    DbStatus exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {}) {
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            return failSql(query.lastError(), sql);
        return execPrepared(query, values);
    }

    DbStatus execPrepared(QSqlQuery& query, const QVariantList& values) {
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec())
            return failSql(query.lastError(), query.lastQuery());
        return DbStatus::Ok;
    }

    // Steps to the next row; a failure while stepping is a failure of the statement.
    DbStatus next(QSqlQuery& query, bool* hasRow) {
        *hasRow = query.next();
        if (!*hasRow && query.lastError().isValid())
            return failSql(query.lastError(), query.lastQuery());
        return DbStatus::Ok;
    }

    DbStatus execStatement(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery query(db);
        return exec(query, sql, values);
    }

    DbStatus schemaNames(const QString& condition, QStringList* names) {
        QSqlQuery query(db);
        DbStatus status = exec(
            query, QStringLiteral("SELECT name FROM sqlite_master WHERE %1 ORDER BY name").arg(condition));
        bool hasRow = false;
        while (status == DbStatus::Ok && (status = next(query, &hasRow)) == DbStatus::Ok && hasRow)
            names->append(query.value(0).toString());
        return status;
    }

    bool containsName(const QStringList& names, const QString& name) const {
        for (const QString& n : names) {
            if (TableName::sameName(n, name))
                return true;
        }
        return false;
    }
};

TriviaDatabase::TriviaDatabase(const QString& folder) : d(std::make_unique<Private>()) {
    d->folder = folder;
    // The object's address names the connection: unique among the live objects, and each
    // object removes its connection before the address can be reused.
    d->connectionName = QStringLiteral("palvuro-trivia-%1").arg(quintptr(this), 0, 16);
    d->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d->connectionName);
    std::random_device seed;
    std::seed_seq sequence{seed(), seed(), seed(), seed()};
    d->random.seed(sequence);
}

TriviaDatabase::~TriviaDatabase() {
    close();
    d->db = QSqlDatabase();
    QSqlDatabase::removeDatabase(d->connectionName);
}

QString TriviaDatabase::fileName() {
    return QStringLiteral("Trivia.mdb");
}

QString TriviaDatabase::filePath() const {
    return d->path();
}

bool TriviaDatabase::isOpen() const {
    return d->db.isValid() && d->db.isOpen();
}

bool TriviaDatabase::isReadOnly() const {
    return d->readOnly;
}

QString TriviaDatabase::errorText() const {
    return d->error;
}

void TriviaDatabase::close() {
    if (d->db.isValid())
        d->db.close();
    if (!d->openFile.isEmpty())
        OpenFiles::remove(std::exchange(d->openFile, QString()));
}

void TriviaDatabase::setBusyTimeout(int milliseconds) {
    d->busyTimeoutMs = std::max(0, milliseconds);
    if (isOpen())
        d->execStatement(QStringLiteral("PRAGMA busy_timeout = %1").arg(d->busyTimeoutMs));
}

DbStatus TriviaDatabase::open() {
    if (isOpen())
        return DbStatus::Ok;
    if (!d->db.isValid())
        return d->fail(DbStatus::CannotOpen,
                       QStringLiteral("The SQLite driver of Qt (QSQLITE) is not installed."));
    const QFileInfo folder(d->folder);
    const QFileInfo file(d->path());
    const QString shownPath = QDir::toNativeSeparators(d->path());
    if (!folder.isDir())
        return d->fail(
            DbStatus::CannotOpen,
            QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(d->folder)));
    if (file.exists()) {
        if (!file.isFile())
            return d->fail(DbStatus::CannotOpen, QStringLiteral("%1 is not a file.").arg(shownPath));
        const FileCheck check =
            OpenFiles::isOpen(file.canonicalFilePath()) ? FileCheck::Ok : checkDatabaseFile(d->path());
        if (check == FileCheck::Unreadable)
            return d->fail(DbStatus::CannotOpen,
                           QStringLiteral("The database file %1 cannot be read.").arg(shownPath));
        if (check == FileCheck::Foreign)
            return d->fail(DbStatus::NotADatabase, d->message(DbStatus::NotADatabase));
    } else if (!folder.isWritable()) {
        return d->fail(DbStatus::ReadOnly,
                       QStringLiteral("The database file %1 cannot be created: its folder is read-only.")
                           .arg(shownPath));
    }
    d->readOnly = file.exists() && !(file.isWritable() && folder.isWritable());
    DbStatus status = connect(false);
    if (d->readOnly && (status == DbStatus::CannotOpen || status == DbStatus::ReadOnly))
        status = connect(true); // a WAL file in a read-only folder: no shared-memory file can be made
    return status;
}

// Opens the connection and prepares it; `immutable` opens a read-only file that SQLite may
// not even lock (its folder cannot hold the lock files WAL mode needs).
DbStatus TriviaDatabase::connect(bool immutable) {
    if (immutable) {
        d->db.setDatabaseName(QUrl::fromLocalFile(d->path()).toString(QUrl::FullyEncoded) +
                              QLatin1String("?immutable=1"));
        d->db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        d->db.setDatabaseName(d->path());
        d->db.setConnectOptions(d->readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY") : QString());
    }
    if (!d->db.open())
        return d->failSql(d->db.lastError(), QStringLiteral("(opening the file)"));
    d->openFile = QFileInfo(d->path()).canonicalFilePath();
    if (!d->openFile.isEmpty())
        OpenFiles::add(d->openFile);
    const DbStatus status = prepareConnection();
    if (status != DbStatus::Ok)
        close();
    return status;
}

DbStatus TriviaDatabase::prepareConnection() {
    DbStatus status = d->execStatement(QStringLiteral("PRAGMA busy_timeout = %1").arg(d->busyTimeoutMs));
    // A read before any write: a damaged file shows itself here and stays untouched.
    QStringList tables;
    if (status == DbStatus::Ok)
        status = d->schemaNames(QStringLiteral("type = 'table'"), &tables);
    if (status != DbStatus::Ok)
        return status;
    d->hasScoresTable = d->containsName(tables, QStringLiteral("Psystem"));
    if (d->readOnly)
        return DbStatus::Ok;
    // WAL lets the other connections read while one writes. Where it cannot be set (another
    // program holds the file in the old journal mode) the file keeps its mode and still works.
    d->execStatement(QStringLiteral("PRAGMA journal_mode = WAL"));
    status = d->execStatement(QStringLiteral("PRAGMA synchronous = FULL"));
    if (status == DbStatus::Ok && !d->hasScoresTable)
        status = d->execStatement(QStringLiteral("CREATE TABLE Psystem (Nick TEXT PRIMARY KEY NOT NULL, "
                                                 "Points INTEGER NOT NULL DEFAULT 0)"));
    if (status != DbStatus::Ok)
        return status;
    d->hasScoresTable = true;
    QStringList indexes;
    if (d->schemaNames(QStringLiteral("type = 'index'"), &indexes) == DbStatus::Ok &&
        !d->containsName(indexes, QStringLiteral("PsystemByPoints"))) {
        // Only speeds up the top list; a failure (a Psystem of another layout) costs nothing else.
        d->execStatement(QStringLiteral("CREATE INDEX PsystemByPoints ON Psystem (Points DESC, Nick)"));
    }
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::ensureOpen() {
    return isOpen() ? DbStatus::Ok : open();
}

DbStatus TriviaDatabase::ensureWritable() {
    const DbStatus status = ensureOpen();
    if (status != DbStatus::Ok)
        return status;
    if (d->readOnly)
        return d->fail(DbStatus::ReadOnly, d->message(DbStatus::ReadOnly));
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::listCategories(QStringList* names) {
    names->clear();
    DbStatus status = ensureOpen();
    QStringList tables;
    if (status == DbStatus::Ok)
        status = d->schemaNames(QStringLiteral("type = 'table'"), &tables);
    for (const QString& table : std::as_const(tables)) {
        if (TableName::isCategory(table))
            names->append(table);
    }
    return status;
}

// Opening for a change refuses a read-only database before the category is looked up, so the
// caller hears why it cannot write rather than that the category is missing.
DbStatus TriviaDatabase::openCategory(const QString& name, Access access, QString* table) {
    if (access == Access::Write) {
        const DbStatus status = ensureWritable();
        if (status != DbStatus::Ok)
            return status;
    }
    return resolveCategory(name, table);
}

DbStatus TriviaDatabase::resolveCategory(const QString& name, QString* storedName) {
    QStringList names;
    const DbStatus status = listCategories(&names);
    if (status != DbStatus::Ok)
        return status;
    if (names.contains(name)) {
        *storedName = name;
        return DbStatus::Ok;
    }
    for (const QString& candidate : std::as_const(names)) {
        if (TableName::sameName(candidate, name)) {
            *storedName = candidate;
            return DbStatus::Ok;
        }
    }
    return d->fail(DbStatus::NoSuchCategory, QStringLiteral("There is no category named %1.").arg(name));
}

std::optional<QString> TriviaDatabase::findCategory(const QString& name) {
    QString stored;
    if (resolveCategory(name, &stored) != DbStatus::Ok)
        return std::nullopt;
    return stored;
}

DbStatus TriviaDatabase::createCategory(const QString& typedName) {
    const QString name = LetterCase::upper(Spaces::trimmed(typedName));
    if (TableName::isValidBareName(name) && TableName::isBuiltIn(name))
        return d->fail(DbStatus::AlreadyExists,
                       QStringLiteral("The name %1 is taken by the database itself.").arg(name));
    if (!TableName::isValidBareName(name) || !TableName::isCategory(name))
        return d->fail(
            DbStatus::InvalidName,
            QStringLiteral("\"%1\" is not a valid category name: use letters, digits and underscores, "
                           "not starting with a digit, and no reserved SQL word.")
                .arg(name));
    DbStatus status = ensureWritable();
    QStringList existing;
    if (status == DbStatus::Ok)
        status = d->schemaNames(QStringLiteral("1"), &existing);
    if (status != DbStatus::Ok)
        return status;
    if (d->containsName(existing, name))
        return d->fail(DbStatus::AlreadyExists, QStringLiteral("The category %1 already exists.").arg(name));
    return d->execStatement(QStringLiteral("CREATE TABLE %1 (Questions varchar(255), Answers varchar(255))")
                                .arg(TableName::quoted(name)));
}

DbStatus TriviaDatabase::dropCategory(const QString& name) {
    QString table;
    const DbStatus status = openCategory(name, Access::Write, &table);
    if (status != DbStatus::Ok)
        return status;
    return d->execStatement(QStringLiteral("DROP TABLE %1").arg(TableName::quoted(table)));
}

DbStatus TriviaDatabase::addPair(const QString& category, const QString& question, const QString& answer) {
    QString table;
    const DbStatus status = openCategory(category, Access::Write, &table);
    if (status != DbStatus::Ok)
        return status;
    return d->execStatement(
        QStringLiteral("INSERT INTO %1 (Questions, Answers) VALUES (?, ?)").arg(TableName::quoted(table)),
        {textValue(question), textValue(answer)});
}

namespace {

bool takeUsableRow(const QSqlQuery& query, TriviaDatabase::Question* out) {
    const QVariant question = query.value(0);
    const QVariant answer = query.value(1);
    if (question.isNull() || answer.isNull())
        return false;
    QString answerText = Spaces::leftTrimmed(answer.toString());
    if (answerText.isEmpty())
        return false;
    out->question = Spaces::leftTrimmed(question.toString());
    out->answer = LetterCase::upper(answerText);
    return true;
}

} // namespace

// Draws rowids uniformly between the smallest and the largest and keeps the first that names a
// usable row: every usable row is equally likely, and no pick walks the table. Only when the
// rowids are mostly gaps or unusable rows does a pick count the usable rows and take one by
// its place, which is uniform too.
DbStatus TriviaDatabase::pickQuestion(const QString& category, Question* out) {
    QString table;
    DbStatus status = openCategory(category, Access::Read, &table);
    if (status != DbStatus::Ok)
        return status;
    const QString quoted = TableName::quoted(table);
    QSqlQuery query(d->db);
    bool hasRow = false;
    // Two subqueries: SQLite reads a lone min() or max() of the rowid from the end of the
    // b-tree, but scans the whole table for both in one select.
    status = d->exec(
        query, QStringLiteral("SELECT (SELECT min(rowid) FROM %1), (SELECT max(rowid) FROM %1)").arg(quoted));
    if (status == DbStatus::Ok)
        status = d->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow || query.value(0).isNull())
        return d->fail(DbStatus::EmptyCategory,
                       QStringLiteral("The category %1 holds no questions.").arg(table));
    std::uniform_int_distribution<qint64> rowIds(query.value(0).toLongLong(), query.value(1).toLongLong());
    query.setForwardOnly(true);
    const QString pick = QStringLiteral("SELECT Questions, Answers FROM %1 WHERE rowid = ?").arg(quoted);
    if (!query.prepare(pick))
        return d->failSql(query.lastError(), pick);
    for (int attempt = 0; attempt < kPickTries; ++attempt) {
        status = d->execPrepared(query, {rowIds(d->random)});
        if (status == DbStatus::Ok)
            status = d->next(query, &hasRow);
        if (status != DbStatus::Ok)
            return status;
        if (hasRow && takeUsableRow(query, out))
            return DbStatus::Ok;
    }
    return pickByPlace(quoted, table, out);
}

DbStatus TriviaDatabase::pickByPlace(const QString& quoted, const QString& table, Question* out) {
    QSqlQuery query(d->db);
    bool hasRow = false;
    DbStatus status =
        d->exec(query, QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(quoted, kUsableRow));
    if (status == DbStatus::Ok)
        status = d->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    const qint64 usable = hasRow ? query.value(0).toLongLong() : 0;
    if (usable == 0)
        return d->fail(DbStatus::NoUsableQuestion,
                       QStringLiteral("No question of the category %1 has an answer.").arg(table));
    const qint64 place = std::uniform_int_distribution<qint64>(0, usable - 1)(d->random);
    status =
        d->exec(query,
                QStringLiteral("SELECT Questions, Answers FROM %1 WHERE %2 ORDER BY rowid LIMIT 1 OFFSET ?")
                    .arg(quoted, kUsableRow),
                {place});
    if (status == DbStatus::Ok)
        status = d->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow || !takeUsableRow(query, out)) // rows deleted by another connection meanwhile
        return d->fail(DbStatus::NoUsableQuestion,
                       QStringLiteral("No question of the category %1 has an answer.").arg(table));
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::beginBatch() {
    const DbStatus status = ensureWritable();
    return status == DbStatus::Ok ? d->execStatement(QStringLiteral("BEGIN IMMEDIATE")) : status;
}

DbStatus TriviaDatabase::commitBatch() {
    const DbStatus status = d->execStatement(QStringLiteral("COMMIT"));
    return status == DbStatus::Ok ? status : rollBack(status);
}

DbStatus TriviaDatabase::rollbackBatch() {
    return d->execStatement(QStringLiteral("ROLLBACK"));
}

DbStatus TriviaDatabase::rollBack(DbStatus status) {
    const QString error = d->error;
    d->execStatement(QStringLiteral("ROLLBACK"));
    d->error = error;
    return status;
}

DbStatus TriviaDatabase::scoreCorrectAnswer(const QString& nick, qint64* newScore) {
    DbStatus status = ensureWritable();
    if (status == DbStatus::Ok)
        status = d->execStatement(QStringLiteral("BEGIN IMMEDIATE"));
    if (status != DbStatus::Ok)
        return status;
    QSqlQuery query(d->db);
    status = d->exec(query,
                     QStringLiteral("UPDATE Psystem SET Points = CASE WHEN Points >= %1 THEN Points "
                                    "ELSE coalesce(Points, 0) + 1 END WHERE Nick = ?")
                         .arg(std::numeric_limits<qint64>::max()),
                     {textValue(nick)});
    if (status == DbStatus::Ok && query.numRowsAffected() == 0)
        status = d->exec(query, QStringLiteral("INSERT INTO Psystem (Nick, Points) VALUES (?, 1)"),
                         {textValue(nick)});
    bool hasRow = false;
    if (status == DbStatus::Ok)
        status =
            d->exec(query, QStringLiteral("SELECT Points FROM Psystem WHERE Nick = ?"), {textValue(nick)});
    if (status == DbStatus::Ok)
        status = d->next(query, &hasRow);
    const qint64 points = hasRow ? query.value(0).toLongLong() : 1;
    query.finish();
    if (status == DbStatus::Ok)
        status = d->execStatement(QStringLiteral("COMMIT"));
    if (status != DbStatus::Ok)
        return rollBack(status);
    *newScore = points;
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::lookupScore(const QString& nick, std::optional<qint64>* points) {
    points->reset();
    DbStatus status = ensureOpen();
    if (status != DbStatus::Ok || !d->hasScoresTable)
        return status;
    QSqlQuery query(d->db);
    bool hasRow = false;
    status = d->exec(query, QStringLiteral("SELECT Points FROM Psystem WHERE Nick = ? LIMIT 1"),
                     {textValue(nick)});
    if (status == DbStatus::Ok)
        status = d->next(query, &hasRow);
    if (status == DbStatus::Ok && hasRow)
        *points = query.value(0).toLongLong();
    return status;
}

DbStatus TriviaDatabase::topScores(QList<Score>* out) {
    return selectScores(QStringLiteral("ORDER BY Points DESC, Nick LIMIT %1").arg(kTopCount), out);
}

// Rows of Psystem in the order `orderAndLimit` gives; none when the file has no scores table.
DbStatus TriviaDatabase::selectScores(const QString& orderAndLimit, QList<Score>* out) {
    out->clear();
    DbStatus status = ensureOpen();
    if (status != DbStatus::Ok || !d->hasScoresTable)
        return status;
    QSqlQuery query(d->db);
    status = d->exec(query, QStringLiteral("SELECT Nick, Points FROM Psystem %1").arg(orderAndLimit));
    bool hasRow = false;
    while (status == DbStatus::Ok && (status = d->next(query, &hasRow)) == DbStatus::Ok && hasRow)
        out->append(Score{query.value(0).toString(), query.value(1).toLongLong()});
    return status;
}

DbStatus TriviaDatabase::setScore(const QString& nick, qint64 points) {
    const DbStatus status = ensureWritable();
    if (status != DbStatus::Ok)
        return status;
    return d->execStatement(QStringLiteral("UPDATE Psystem SET Points = ? WHERE Nick = ?"),
                            {QVariant::fromValue<qlonglong>(points), textValue(nick)});
}

DbStatus TriviaDatabase::deleteAllScores() {
    const DbStatus status = ensureWritable();
    if (status != DbStatus::Ok)
        return status;
    return d->execStatement(QStringLiteral("DELETE FROM Psystem"));
}

namespace {

// A row selected as rowid, Questions, Answers.
TriviaDatabase::Pair pairOf(const QString& table, const QSqlQuery& query) {
    return TriviaDatabase::Pair{table,
                                query.value(0).toLongLong(),
                                query.value(1).toString(),
                                query.value(2).toString(),
                                query.value(1).isNull(),
                                query.value(2).isNull()};
}

} // namespace

DbStatus TriviaDatabase::findPair(const QString& category, const char* column, const QString& value,
                                  Pair* out) {
    QString table;
    DbStatus status = openCategory(category, Access::Read, &table);
    if (status != DbStatus::Ok)
        return status;
    QSqlQuery query(d->db);
    bool hasRow = false;
    status =
        d->exec(query,
                QStringLiteral("SELECT rowid, Questions, Answers FROM %1 WHERE %2 = ? ORDER BY rowid LIMIT 1")
                    .arg(TableName::quoted(table), QLatin1String(column)),
                {textValue(value)});
    if (status == DbStatus::Ok)
        status = d->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow)
        return d->fail(DbStatus::NotFound, QStringLiteral("No pair of %1 matches.").arg(table));
    *out = pairOf(table, query);
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::findPairByQuestion(const QString& category, const QString& text, Pair* out) {
    return findPair(category, "Questions", LetterCase::upper(Spaces::trimmed(text)), out);
}

DbStatus TriviaDatabase::findPairByAnswer(const QString& category, const QString& text, Pair* out) {
    return findPair(category, "Answers", LetterCase::upper(text), out);
}

DbStatus TriviaDatabase::changeRow(const Pair& pair, const QString& sqlPattern, QVariantList values) {
    QString table;
    DbStatus status = openCategory(pair.category, Access::Write, &table);
    if (status != DbStatus::Ok)
        return status;
    values.append(QVariant::fromValue<qlonglong>(pair.rowId));
    QSqlQuery query(d->db);
    status = d->exec(query, sqlPattern.arg(TableName::quoted(table)), values);
    if (status == DbStatus::Ok && query.numRowsAffected() == 0)
        return d->fail(DbStatus::NotFound, QStringLiteral("The pair is no longer in %1.").arg(table));
    return status;
}

DbStatus TriviaDatabase::updatePair(const Pair& pair, const QString& question, const QString& answer) {
    return changeRow(pair, QStringLiteral("UPDATE %1 SET Questions = ?, Answers = ? WHERE rowid = ?"),
                     {textValue(question), textValue(answer)});
}

DbStatus TriviaDatabase::deletePair(const Pair& pair) {
    return changeRow(pair, QStringLiteral("DELETE FROM %1 WHERE rowid = ?"), {});
}

// Many rows to one statement: each statement run costs more than the values it binds.
DbStatus TriviaDatabase::addPairs(const QString& category, const QList<QPair<QString, QString>>& pairs) {
    constexpr qsizetype rowsPerInsert = 64;
    QString table;
    DbStatus status = openCategory(category, Access::Write, &table);
    QSqlQuery full(d->db);
    QSqlQuery rest(d->db);
    for (qsizetype start = 0; status == DbStatus::Ok && start < pairs.size(); start += rowsPerInsert) {
        const qsizetype rows = std::min(rowsPerInsert, pairs.size() - start);
        QSqlQuery& query = rows == rowsPerInsert ? full : rest;
        const QString sql =
            QStringLiteral("INSERT INTO %1 (Questions, Answers) VALUES %2")
                .arg(TableName::quoted(table), QStringLiteral("(?, ?),").repeated(rows).chopped(1));
        if (query.lastQuery() != sql && !query.prepare(sql))
            return d->failSql(query.lastError(), sql);
        QVariantList values;
        values.reserve(2 * rows);
        for (qsizetype i = start; i < start + rows; ++i)
            values << textValue(pairs[i].first) << textValue(pairs[i].second);
        status = d->execPrepared(query, values);
    }
    return status;
}

DbStatus TriviaDatabase::forEachPair(const QString& category, const std::function<void(const Pair&)>& take) {
    QString table;
    DbStatus status = openCategory(category, Access::Read, &table);
    if (status != DbStatus::Ok)
        return status;
    QSqlQuery query(d->db);
    status = d->exec(query, QStringLiteral("SELECT rowid, Questions, Answers FROM %1 ORDER BY rowid")
                                .arg(TableName::quoted(table)));
    bool hasRow = false;
    while (status == DbStatus::Ok && (status = d->next(query, &hasRow)) == DbStatus::Ok && hasRow)
        take(pairOf(table, query));
    return status;
}

DbStatus TriviaDatabase::allScores(QList<Score>* out) {
    return selectScores(QStringLiteral("ORDER BY Nick"), out);
}

DbStatus TriviaDatabase::storeScore(const QString& nick, qint64 points, bool add) {
    const DbStatus status = ensureWritable();
    if (status != DbStatus::Ok)
        return status;
    // SQLite turns an integer sum that overflows into a real: cap it before it can.
    const QString newPoints =
        add ? QStringLiteral("CASE WHEN coalesce(Points, 0) > %1 - excluded.Points THEN %1 "
                             "ELSE coalesce(Points, 0) + excluded.Points END")
                  .arg(std::numeric_limits<qint64>::max())
            : QStringLiteral("excluded.Points");
    return d->execStatement(QStringLiteral("INSERT INTO Psystem (Nick, Points) VALUES (?, ?) "
                                           "ON CONFLICT (Nick) DO UPDATE SET Points = %1")
                                .arg(newPoints),
                            {textValue(nick), QVariant::fromValue<qlonglong>(points)});
}

} // namespace palvuro
