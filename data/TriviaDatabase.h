#pragma once

#include "data/DbStatus.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace palvuro {

class ServerAddress;

// The bot's questions and scores: one table per category (Questions, Answers) and the scores
// table Psystem (Nick primary key, Points 64-bit), in "Trivia.mdb" or on a database server.
// Each object is one connection (DbConnection says how it opens and fails); several may be
// open at once. Every value is a bound parameter and every table name is the stored name of
// an existing category, quoted as an identifier.
class TriviaDatabase {
public:
    struct Question {
        QString question; // leading blanks removed
        QString answer;   // leading blanks removed, upper-cased, never empty
    };
    struct Score {
        QString nick;
        qint64 points = 0;
    };
    // A found question/answer pair: the row it came from, and its values as stored.
    struct Pair {
        QString category; // the stored table name
        qint64 rowId = 0;
        QString question;
        QString answer;
        bool questionNull = false;
        bool answerNull = false;
    };

    // "Trivia.mdb" in `folder`.
    explicit TriviaDatabase(const QString& folder);
    // A database on a server.
    explicit TriviaDatabase(const ServerAddress& server);
    ~TriviaDatabase();
    TriviaDatabase(const TriviaDatabase&) = delete;
    TriviaDatabase& operator=(const TriviaDatabase&) = delete;

    static QString fileName(); // "Trivia.mdb"
    // The file's path, or the server's address: where the messages say the data is.
    QString filePath() const;

    // Opens (creating the file and Psystem when missing). Every operation below opens on demand.
    DbStatus open();
    bool isOpen() const;
    void close();
    // What went wrong in the last failed operation, for a message box.
    QString errorText() const;
    // How long an operation waits for another connection's lock before it gives Locked
    // (3000 ms unless set); takes effect at once.
    void setBusyTimeout(int milliseconds);
    // Opening leaves the store as it found it: for a dry run, whose batches are rolled back.
    void setKeepLayout(bool keep);
    // Open on a file that cannot be written (read-only file or folder): reads work, every
    // change gives ReadOnly.
    bool isReadOnly() const;

    // The set of categories, ascending by name, as stored.
    DbStatus listCategories(QStringList* names);
    // The stored name of the category called `name`, letter case ignored.
    std::optional<QString> findCategory(const QString& name);
    // Creates a category table named `typedName` trimmed of spaces and upper-cased.
    DbStatus createCategory(const QString& typedName);
    DbStatus dropCategory(const QString& name);
    // Adds one pair, values stored exactly as given.
    DbStatus addPair(const QString& category, const QString& question, const QString& answer);
    // Groups the changes that follow into one transaction until commitBatch(), so a bulk load
    // pays for one disk sync instead of one per row. Keep batches short: other connections
    // wait for the file meanwhile. An open batch is rolled back when the connection closes.
    DbStatus beginBatch();
    DbStatus commitBatch();
    // Undoes every change since beginBatch().
    DbStatus rollbackBatch();

    // Bulk loading: the statement is prepared once for all pairs. Best inside a batch.
    DbStatus addPairs(const QString& category, const QList<QPair<QString, QString>>& pairs);
    // Every row of the category in the order the rows were added.
    DbStatus forEachPair(const QString& category, const std::function<void(const Pair&)>& take);
    // Every score, ascending by nick.
    DbStatus allScores(QList<Score>* out);
    // Creates the nick's row or changes it: to `points`, or, with `add`, by `points` (never
    // beyond the largest value a score can hold).
    DbStatus storeScore(const QString& nick, qint64 points, bool add);

    // A uniformly random usable row of the category, without walking the table.
    DbStatus pickQuestion(const QString& category, Question* out);

    // A correct answer: creates the row with 1 or adds 1; durable once this returns.
    DbStatus scoreCorrectAnswer(const QString& nick, qint64* newScore);
    // The nick's points; std::nullopt (with Ok) when it has no row.
    DbStatus lookupScore(const QString& nick, std::optional<qint64>* points);
    // At most 10, highest Points first.
    DbStatus topScores(QList<Score>* out);
    // Sets Points of the row whose Nick equals `nick` (no row: nothing changes, Ok).
    DbStatus setScore(const QString& nick, qint64 points);
    DbStatus deleteAllScores();

    // The first row whose Questions equals `text` trimmed of spaces and upper-cased.
    DbStatus findPairByQuestion(const QString& category, const QString& text, Pair* out);
    // The first row whose Answers equals `text` upper-cased (not trimmed).
    DbStatus findPairByAnswer(const QString& category, const QString& text, Pair* out);
    // Change or delete exactly the row `pair` names.
    DbStatus updatePair(const Pair& pair, const QString& question, const QString& answer);
    DbStatus deletePair(const Pair& pair);

private:
    enum class Access { Read, Write };
    // The stored name of the category `name`, with the database open (and writable for Write).
    DbStatus openCategory(const QString& name, Access access, QString* table);
    DbStatus resolveCategory(const QString& name, QString* storedName);
    DbStatus scoreInOneStatement(const QString& sql, const QString& nick, qint64* newScore);
    DbStatus pickByPlace(const QString& quotedTable, const QString& table, Question* out);
    DbStatus findPair(const QString& category, const char* column, const QString& value, Pair* out);
    DbStatus changeRow(const Pair& pair, const QString& sqlPattern, QVariantList values);
    DbStatus selectScores(const QString& orderAndLimit, QList<Score>* out);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
