#pragma once

#include <QString>

#include <functional>

class QIODevice;

namespace palvuro {

class TriviaDatabase;

// Writes the question bank in the importer's own tab-separated form, and the scores as
// "NICK<TAB>POINTS" lines. A pair or a score that would not come back unchanged from an import
// (a value with a line break, a category name no import can create) is left out and reported,
// so that importing the file into an empty folder and exporting again gives the same bytes.
class BankExporter {
public:
    struct Result {
        bool ok = true;
        QString failure; // when not ok
        qint64 written = 0;
        qint64 skipped = 0;
    };
    using SkipHandler = std::function<void(const QString& what)>;

    explicit BankExporter(TriviaDatabase& db);
    void setSkipHandler(SkipHandler handler);

    Result writeQuestions(QIODevice& out);
    Result writeScores(QIODevice& out);

private:
    void skip(const QString& what, Result* result) const;

    TriviaDatabase& db_;
    SkipHandler onSkip_;
};

} // namespace palvuro
