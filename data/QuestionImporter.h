#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace palvuro {

class RecordReader;
class TriviaDatabase;
struct ImportRecord;

// Adds the question/answer pairs of a question file to a trivia database. Values are cleaned
// and stored the way the operator's editor stores them, missing categories are created, and a
// pair already in its category is not added again. A record that cannot be used is reported
// with its number and skipped. The whole run is one transaction: a database failure leaves
// the file as it was, unless keepGoing asks for one transaction per category instead.
class QuestionImporter {
public:
    struct Options {
        bool keepChoiceQuestions = false; // multiple-choice and true/false questions too
        bool keepGoing = false;           // a category that fails to save does not undo the others
        bool dryRun = false;              // count everything, change nothing
    };

    struct RecordError {
        qint64 number = 0; // the record's line or place, from 1
        QString unit;      // what the number counts: "line" or "result"
        QString reason;
    };
    using ErrorHandler = std::function<void(const RecordError&)>;
    // Called now and then with the share of the work done, from 0 to 1, and the records read.
    using ProgressHandler = std::function<void(double done, qint64 records)>;

    enum class Outcome {
        Done,           // every record was read; some may have been skipped
        CannotReadFile, // the file is not readable in its format; nothing was imported
        DatabaseFailed  // the database could not be opened or saved
    };

    struct CategoryCounts {
        qint64 added = 0;
        qint64 duplicates = 0;
        qint64 multipleChoice = 0;
        qint64 trueFalse = 0;
        qint64 refused = 0; // records the editor could not have stored
        QString failure;    // why the category's pairs could not be saved
    };

    struct Summary {
        Outcome outcome = Outcome::Done;
        QString failure; // what went wrong, when outcome is not Done
        bool dryRun = false;
        qint64 recordsRead = 0;
        qint64 unreadable = 0;                    // records with no category to count them under
        QMap<QString, CategoryCounts> categories; // by stored category name

        qint64 pairsAdded() const;
        // Records refused as unusable (not duplicates, nor skipped question kinds).
        qint64 recordsRefused() const;
        // One line per category: "HISTORY: 12 added, 1 duplicate, 2 multiple choice skipped".
        QStringList categoryLines() const;
        // "Added 95 questions in 3 categories; 1 record refused."
        QString text() const;
    };

    explicit QuestionImporter(TriviaDatabase& db);
    QuestionImporter(TriviaDatabase& db, Options options);

    // Called once for every refused record, in file order.
    void setErrorHandler(ErrorHandler handler);
    void setProgressHandler(ProgressHandler handler);

    Summary import(RecordReader& reader);

private:
    using Pairs = QList<QPair<QString, QString>>;

    void take(const ImportRecord& record, const QString& unit, Summary* summary);
    void refuse(const ImportRecord& record, const QString& unit, const QString& reason,
                CategoryCounts* counts, Summary* summary) const;
    void save(Summary* summary);
    void saveGroup(const QStringList& group, Summary* summary);
    bool saveCategory(const QString& category, const Pairs& pairs, CategoryCounts* counts);
    QString storedCategory(const QString& category);
    void fail(Summary* summary, const QString& what) const;
    void reportProgress(double done, qint64 records);

    TriviaDatabase& db_;
    Options options_;
    ErrorHandler onError_;
    ProgressHandler onProgress_;
    QMap<QString, Pairs> pending_; // cleaned pairs by category, in file order
    QHash<QString, QString> categoryRefusals_;
    qint64 pendingCount_ = 0;
    qint64 saved_ = 0;
};

} // namespace palvuro
