#include "data/TriviaDatabase.h"

#include "data/DataLog.h"
#include "data/DbConnection.h"
#include "data/FileConnection.h"
#include "data/ServerConnection.h"
#include "data/Spaces.h"
#include "data/SqlDialect.h"
#include "data/TableName.h"
#include "platform/LetterCase.h"

#include <QSqlQuery>
#include <QVariant>

#include <limits>
#include <random>
#include <utility>

namespace palvuro {

namespace {

// Random row numbers tried before a pick counts the usable rows instead; with a table at least
// half full the count is needed less often than once in ten million picks.
constexpr int kPickTries = 24;
constexpr int kTopCount = 10;

// A pick's row: usable when the question and the answer have values and the answer is not
// blank. The same rule in SQL, for the exact fallback of a pick.
const QLatin1String kUsableRow("Questions IS NOT NULL AND Answers IS NOT NULL AND ltrim(Answers, ' ') <> ''");

// A null QString would be bound as SQL NULL; a value the caller gives is always text.
QVariant textValue(const QString& text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

} // namespace

// Values are stored as given: SQLite does not enforce the columns' 255 characters, and the
// editor's boxes already hold no more, so cutting here could only lose a caller's text.
struct TriviaDatabase::Private {
    std::unique_ptr<DbConnection> c;
    std::mt19937_64 random = seeded();

    static std::mt19937_64 seeded() {
        std::random_device seed;
        std::seed_seq sequence{seed(), seed(), seed(), seed()};
        return std::mt19937_64(sequence);
    }

    // Statements name a category's rows by SQLite's rowid; the store's own column replaces it.
    QString rowSql(QString sql) const {
        return c->dialect().isServer() ? sql.replace(QLatin1String("rowid"), c->dialect().rowId()) : sql;
    }
};

TriviaDatabase::TriviaDatabase(const QString& folder) : d(std::make_unique<Private>()) {
    d->c = std::make_unique<FileConnection>(folder);
}

TriviaDatabase::TriviaDatabase(const ServerAddress& server) : d(std::make_unique<Private>()) {
    d->c = std::make_unique<ServerConnection>(server);
}

TriviaDatabase::~TriviaDatabase() = default;

QString TriviaDatabase::fileName() {
    return FileConnection::fileName();
}

QString TriviaDatabase::filePath() const {
    return d->c->location();
}

bool TriviaDatabase::isOpen() const {
    return d->c->isOpen();
}

bool TriviaDatabase::isReadOnly() const {
    return d->c->isReadOnly();
}

QString TriviaDatabase::errorText() const {
    return d->c->errorText();
}

void TriviaDatabase::close() {
    d->c->close();
}

void TriviaDatabase::setBusyTimeout(int milliseconds) {
    d->c->setBusyTimeout(milliseconds);
}

void TriviaDatabase::setKeepLayout(bool keep) {
    d->c->setKeepLayout(keep);
}

DbStatus TriviaDatabase::open() {
    return d->c->open();
}

DbStatus TriviaDatabase::listCategories(QStringList* names) {
    names->clear();
    DbStatus status = d->c->ensureOpen();
    QStringList tables;
    if (status == DbStatus::Ok)
        status = d->c->names(d->c->dialect().tableNames(), &tables);
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
        const DbStatus status = d->c->ensureWritable();
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
    return d->c->fail(DbStatus::NoSuchCategory, QStringLiteral("There is no category named %1.").arg(name));
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
        return d->c->fail(DbStatus::AlreadyExists,
                          QStringLiteral("The name %1 is taken by the database itself.").arg(name));
    if (!TableName::isValidBareName(name) || !TableName::isCategory(name))
        return d->c->fail(
            DbStatus::InvalidName,
            QStringLiteral("\"%1\" is not a valid category name: use letters, digits and underscores, "
                           "not starting with a digit, and no reserved SQL word.")
                .arg(name));
    if (!d->c->dialect().keepsTableName(name))
        return d->c->fail(DbStatus::InvalidName,
                          QStringLiteral("\"%1\" is too long for a category name on the database server: "
                                         "it holds at most %2 bytes (as UTF-8).")
                              .arg(name)
                              .arg(SqlDialect::ServerNameBytes));
    DbStatus status = d->c->ensureWritable();
    QStringList existing;
    if (status == DbStatus::Ok)
        status = d->c->names(d->c->dialect().schemaNames(), &existing);
    if (status != DbStatus::Ok)
        return status;
    if (DbConnection::containsName(existing, name))
        return d->c->fail(DbStatus::AlreadyExists,
                          QStringLiteral("The category %1 already exists.").arg(name));
    return d->c->execStatement(d->c->dialect().createCategory(TableName::quoted(name)));
}

DbStatus TriviaDatabase::dropCategory(const QString& name) {
    QString table;
    const DbStatus status = openCategory(name, Access::Write, &table);
    if (status != DbStatus::Ok)
        return status;
    return d->c->execStatement(QStringLiteral("DROP TABLE %1").arg(TableName::quoted(table)));
}

DbStatus TriviaDatabase::addPair(const QString& category, const QString& question, const QString& answer) {
    QString table;
    const DbStatus status = openCategory(category, Access::Write, &table);
    if (status != DbStatus::Ok)
        return status;
    return d->c->execStatement(
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
    QSqlQuery query(d->c->db());
    bool hasRow = false;
    // Two subqueries: SQLite reads a lone min() or max() of the rowid from the end of the
    // b-tree, but scans the whole table for both in one select.
    status = d->c->exec(
        query, d->rowSql(QStringLiteral("SELECT (SELECT min(rowid) FROM %1), (SELECT max(rowid) FROM %1)"))
                   .arg(quoted));
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow || query.value(0).isNull())
        return d->c->fail(DbStatus::EmptyCategory,
                          QStringLiteral("The category %1 holds no questions.").arg(table));
    std::uniform_int_distribution<qint64> rowIds(query.value(0).toLongLong(), query.value(1).toLongLong());
    status = d->c->prepare(
        query, d->rowSql(QStringLiteral("SELECT Questions, Answers FROM %1 WHERE rowid = ?")).arg(quoted));
    if (status != DbStatus::Ok)
        return status;
    for (int attempt = 0; attempt < kPickTries; ++attempt) {
        status = d->c->execPrepared(query, {rowIds(d->random)});
        if (status == DbStatus::Ok)
            status = d->c->next(query, &hasRow);
        if (status != DbStatus::Ok)
            return status;
        if (hasRow && takeUsableRow(query, out))
            return DbStatus::Ok;
    }
    return pickByPlace(quoted, table, out);
}

DbStatus TriviaDatabase::pickByPlace(const QString& quoted, const QString& table, Question* out) {
    QSqlQuery query(d->c->db());
    bool hasRow = false;
    DbStatus status =
        d->c->exec(query, QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(quoted, kUsableRow));
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    const qint64 usable = hasRow ? query.value(0).toLongLong() : 0;
    if (usable == 0)
        return d->c->fail(DbStatus::NoUsableQuestion,
                          QStringLiteral("No question of the category %1 has an answer.").arg(table));
    const qint64 place = std::uniform_int_distribution<qint64>(0, usable - 1)(d->random);
    status = d->c->exec(
        query,
        d->rowSql(
             QStringLiteral("SELECT Questions, Answers FROM %1 WHERE %2 ORDER BY rowid LIMIT 1 OFFSET ?"))
            .arg(quoted, kUsableRow),
        {place});
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow || !takeUsableRow(query, out)) // rows deleted by another connection meanwhile
        return d->c->fail(DbStatus::NoUsableQuestion,
                          QStringLiteral("No question of the category %1 has an answer.").arg(table));
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::beginBatch() {
    return d->c->beginBatch();
}

DbStatus TriviaDatabase::commitBatch() {
    return d->c->commitBatch();
}

DbStatus TriviaDatabase::rollbackBatch() {
    return d->c->rollbackBatch();
}

DbStatus TriviaDatabase::scoreCorrectAnswer(const QString& nick, qint64* newScore) {
    DbStatus status = d->c->ensureWritable();
    const QString oneStatement = d->c->dialect().scoreCorrectAnswer();
    if (status == DbStatus::Ok && !oneStatement.isEmpty())
        return scoreInOneStatement(oneStatement, nick, newScore);
    if (status == DbStatus::Ok)
        status = d->c->execStatement(d->c->dialect().beginBatch());
    if (status != DbStatus::Ok)
        return status;
    QSqlQuery query(d->c->db());
    status = d->c->exec(query,
                        QStringLiteral("UPDATE Psystem SET Points = CASE WHEN Points >= %1 THEN Points "
                                       "ELSE coalesce(Points, 0) + 1 END WHERE Nick = ?")
                            .arg(std::numeric_limits<qint64>::max()),
                        {textValue(nick)});
    if (status == DbStatus::Ok && query.numRowsAffected() == 0)
        status = d->c->exec(query, QStringLiteral("INSERT INTO Psystem (Nick, Points) VALUES (?, 1)"),
                            {textValue(nick)});
    bool hasRow = false;
    if (status == DbStatus::Ok)
        status =
            d->c->exec(query, QStringLiteral("SELECT Points FROM Psystem WHERE Nick = ?"), {textValue(nick)});
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    const qint64 points = hasRow ? query.value(0).toLongLong() : 1;
    query.finish();
    if (status == DbStatus::Ok)
        status = d->c->execStatement(QStringLiteral("COMMIT"));
    if (status != DbStatus::Ok)
        return d->c->rollBack(status);
    *newScore = points;
    return DbStatus::Ok;
}

// Several bots may score the same nick at the same moment: the server changes the row and
// returns the new points in one step, so no point is lost or counted twice.
DbStatus TriviaDatabase::scoreInOneStatement(const QString& sql, const QString& nick, qint64* newScore) {
    QSqlQuery query(d->c->db());
    bool hasRow = false;
    DbStatus status = d->c->exec(query, sql, {textValue(nick)});
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow)
        return d->c->fail(DbStatus::Failed, QStringLiteral("The score of %1 was not returned.").arg(nick));
    *newScore = query.value(0).toLongLong();
    return DbStatus::Ok;
}

DbStatus TriviaDatabase::lookupScore(const QString& nick, std::optional<qint64>* points) {
    points->reset();
    DbStatus status = d->c->ensureOpen();
    if (status != DbStatus::Ok || !d->c->hasScoresTable())
        return status;
    QSqlQuery query(d->c->db());
    bool hasRow = false;
    status = d->c->exec(query, QStringLiteral("SELECT Points FROM Psystem WHERE Nick = ? LIMIT 1"),
                        {textValue(nick)});
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    if (status == DbStatus::Ok && hasRow)
        *points = query.value(0).toLongLong();
    return status;
}

DbStatus TriviaDatabase::topScores(QList<Score>* out) {
    return selectScores(QStringLiteral("ORDER BY Points DESC, %1 LIMIT %2")
                            .arg(d->c->dialect().textOrder(QStringLiteral("Nick")))
                            .arg(kTopCount),
                        out);
}

// Rows of Psystem in the order `orderAndLimit` gives; none when the file has no scores table.
DbStatus TriviaDatabase::selectScores(const QString& orderAndLimit, QList<Score>* out) {
    out->clear();
    DbStatus status = d->c->ensureOpen();
    if (status != DbStatus::Ok || !d->c->hasScoresTable())
        return status;
    QSqlQuery query(d->c->db());
    status = d->c->exec(query, QStringLiteral("SELECT Nick, Points FROM Psystem %1").arg(orderAndLimit));
    bool hasRow = false;
    while (status == DbStatus::Ok && (status = d->c->next(query, &hasRow)) == DbStatus::Ok && hasRow)
        out->append(Score{query.value(0).toString(), query.value(1).toLongLong()});
    return status;
}

DbStatus TriviaDatabase::setScore(const QString& nick, qint64 points) {
    const DbStatus status = d->c->ensureWritable();
    if (status != DbStatus::Ok)
        return status;
    return d->c->execStatement(QStringLiteral("UPDATE Psystem SET Points = ? WHERE Nick = ?"),
                               {QVariant::fromValue<qlonglong>(points), textValue(nick)});
}

DbStatus TriviaDatabase::deleteAllScores() {
    const DbStatus status = d->c->ensureWritable();
    if (status != DbStatus::Ok)
        return status;
    return d->c->execStatement(QStringLiteral("DELETE FROM Psystem"));
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
    QSqlQuery query(d->c->db());
    bool hasRow = false;
    status = d->c->exec(
        query,
        d->rowSql(
             QStringLiteral("SELECT rowid, Questions, Answers FROM %1 WHERE %2 = ? ORDER BY rowid LIMIT 1"))
            .arg(TableName::quoted(table), QLatin1String(column)),
        {textValue(value)});
    if (status == DbStatus::Ok)
        status = d->c->next(query, &hasRow);
    if (status != DbStatus::Ok)
        return status;
    if (!hasRow)
        return d->c->fail(DbStatus::NotFound, QStringLiteral("No pair of %1 matches.").arg(table));
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
    QSqlQuery query(d->c->db());
    status = d->c->exec(query, sqlPattern.arg(TableName::quoted(table)), values);
    if (status == DbStatus::Ok && query.numRowsAffected() == 0)
        return d->c->fail(DbStatus::NotFound, QStringLiteral("The pair is no longer in %1.").arg(table));
    return status;
}

DbStatus TriviaDatabase::updatePair(const Pair& pair, const QString& question, const QString& answer) {
    return changeRow(pair,
                     d->rowSql(QStringLiteral("UPDATE %1 SET Questions = ?, Answers = ? WHERE rowid = ?")),
                     {textValue(question), textValue(answer)});
}

DbStatus TriviaDatabase::deletePair(const Pair& pair) {
    return changeRow(pair, d->rowSql(QStringLiteral("DELETE FROM %1 WHERE rowid = ?")), {});
}

// Many rows to one statement: each statement run costs more than the values it binds.
DbStatus TriviaDatabase::addPairs(const QString& category, const QList<QPair<QString, QString>>& pairs) {
    constexpr qsizetype rowsPerInsert = 64;
    QString table;
    DbStatus status = openCategory(category, Access::Write, &table);
    QSqlQuery full(d->c->db());
    QSqlQuery rest(d->c->db());
    for (qsizetype start = 0; status == DbStatus::Ok && start < pairs.size(); start += rowsPerInsert) {
        const qsizetype rows = std::min(rowsPerInsert, pairs.size() - start);
        QSqlQuery& query = rows == rowsPerInsert ? full : rest;
        const QString sql =
            QStringLiteral("INSERT INTO %1 (Questions, Answers) VALUES %2")
                .arg(TableName::quoted(table), QStringLiteral("(?, ?),").repeated(rows).chopped(1));
        if (query.lastQuery() != sql && (status = d->c->prepare(query, sql)) != DbStatus::Ok)
            return status;
        QVariantList values;
        values.reserve(2 * rows);
        for (qsizetype i = start; i < start + rows; ++i)
            values << textValue(pairs[i].first) << textValue(pairs[i].second);
        status = d->c->execPrepared(query, values);
    }
    return status;
}

DbStatus TriviaDatabase::forEachPair(const QString& category, const std::function<void(const Pair&)>& take) {
    QString table;
    DbStatus status = openCategory(category, Access::Read, &table);
    if (status != DbStatus::Ok)
        return status;
    QSqlQuery query(d->c->db());
    status =
        d->c->exec(query, d->rowSql(QStringLiteral("SELECT rowid, Questions, Answers FROM %1 ORDER BY rowid"))
                              .arg(TableName::quoted(table)));
    bool hasRow = false;
    while (status == DbStatus::Ok && (status = d->c->next(query, &hasRow)) == DbStatus::Ok && hasRow)
        take(pairOf(table, query));
    return status;
}

DbStatus TriviaDatabase::allScores(QList<Score>* out) {
    return selectScores(QStringLiteral("ORDER BY ") + d->c->dialect().textOrder(QStringLiteral("Nick")), out);
}

DbStatus TriviaDatabase::storeScore(const QString& nick, qint64 points, bool add) {
    const DbStatus status = d->c->ensureWritable();
    if (status != DbStatus::Ok)
        return status;
    return d->c->execStatement(d->c->dialect().storeScore(add),
                               {textValue(nick), QVariant::fromValue<qlonglong>(points)});
}

} // namespace palvuro
