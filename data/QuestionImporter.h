#pragma once

#include <QHash>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace palvuro {

class TriviaDatabase;

// Adds question/answer pairs from a UTF-8 tab-separated file (category, question, answer per
// line; an optional header line "category<TAB>question<TAB>answer") to a trivia database.
// Values are stored the way the operator's editor stores them; missing categories are created.
// A malformed line is reported with its number and skipped; the rest is still imported.
class QuestionImporter {
public:
    static constexpr int MaxFieldLength = 255;
    // Longer lines cannot hold three fields of MaxFieldLength characters plus any sane padding.
    static constexpr qint64 MaxLineBytes = 64 * 1024;

    struct LineError {
        qint64 line = 0; // 1-based
        QString reason;
    };
    using ErrorHandler = std::function<void(const LineError&)>;

    enum class Outcome {
        Done,           // every line was read; some may have been skipped
        CannotReadFile, // nothing was imported
        DatabaseFailed  // the database could not be opened, or failed part-way
    };

    struct Summary {
        Outcome outcome = Outcome::Done;
        QString failure; // what went wrong, when outcome is not Done
        qint64 linesRead = 0;
        qint64 linesSkipped = 0;
        QMap<QString, qint64> added; // stored category name -> pairs added to it

        qint64 pairsAdded() const;
        // "Added 95 questions in 3 categories (FOOD 32, ...); 0 lines skipped."
        QString text() const;
    };

    explicit QuestionImporter(TriviaDatabase& db);

    // Called once for every skipped line, in file order.
    void setErrorHandler(ErrorHandler handler);

    Summary importFile(const QString& path);
    Summary import(QIODevice& in);

private:
    struct Pair {
        QString category;
        QString question;
        QString answer;
    };
    // The stored category name, or why the line's category cannot be used.
    struct CategoryResult {
        QString storedName;
        QString error;
        bool fatal = false;
    };

    void importLine(const QByteArray& bytes, qint64 lineNumber, Summary* summary);
    static std::optional<Pair> parseLine(const QByteArray& bytes, QString* reason);
    CategoryResult resolveCategory(const QString& category);
    CategoryResult createCategory(const QString& category);
    void fail(Summary* summary, const QString& what) const;
    void skip(qint64 lineNumber, const QString& reason, Summary* summary) const;
    bool openDatabase(Summary* summary);
    bool beginBatch(Summary* summary);
    bool commitBatch(Summary* summary);

    // Rows go in batches of at most this age, so other connections never wait long.
    static constexpr qint64 MaxBatchMs = 500;

    TriviaDatabase& db_;
    ErrorHandler onError_;
    QHash<QString, CategoryResult> categories_; // by the category's stored form
    QMap<QString, qint64> saved_;               // counts as of the last committed batch
};

} // namespace palvuro
