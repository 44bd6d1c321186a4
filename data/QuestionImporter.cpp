#include "data/QuestionImporter.h"

#include "data/DataLog.h"
#include "data/PairRules.h"
#include "data/RecordReader.h"
#include "data/TriviaDatabase.h"

#include <QSet>

namespace palvuro {

namespace {

constexpr qint64 kProgressEvery = 4096;
// Pairs per insert call: often enough to show progress, rarely enough to cost nothing.
constexpr qsizetype kInsertChunk = 4096;

QString plural(qint64 count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString countsLine(const QString& name, const QuestionImporter::CategoryCounts& counts, bool dryRun) {
    if (!counts.failure.isEmpty())
        return QStringLiteral("%1: not saved (%2)").arg(name, counts.failure);
    QStringList parts{QStringLiteral("%1 %2")
                          .arg(counts.added)
                          .arg(dryRun ? QLatin1String("to add") : QLatin1String("added"))};
    if (counts.duplicates > 0)
        parts << plural(counts.duplicates, "duplicate", "duplicates");
    if (counts.multipleChoice > 0)
        parts << QStringLiteral("%1 multiple choice skipped").arg(counts.multipleChoice);
    if (counts.trueFalse > 0)
        parts << QStringLiteral("%1 true/false skipped").arg(counts.trueFalse);
    if (counts.refused > 0)
        parts << QStringLiteral("%1 refused").arg(counts.refused);
    return name + QLatin1String(": ") + parts.join(QLatin1String(", "));
}

} // namespace

qint64 QuestionImporter::Summary::pairsAdded() const {
    qint64 total = 0;
    for (const CategoryCounts& counts : categories)
        total += counts.added;
    return total;
}

qint64 QuestionImporter::Summary::recordsRefused() const {
    qint64 total = unreadable;
    for (const CategoryCounts& counts : categories)
        total += counts.refused;
    return total;
}

QStringList QuestionImporter::Summary::categoryLines() const {
    QStringList lines;
    for (auto it = categories.cbegin(); it != categories.cend(); ++it)
        lines << countsLine(it.key(), it.value(), dryRun);
    return lines;
}

QString QuestionImporter::Summary::text() const {
    qint64 used = 0;
    qint64 duplicates = 0;
    qint64 skippedKinds = 0;
    for (const CategoryCounts& counts : categories) {
        used += counts.added > 0 ? 1 : 0;
        duplicates += counts.duplicates;
        skippedKinds += counts.multipleChoice + counts.trueFalse;
    }
    QString text = QStringLiteral("%1 %2 in %3; %4; %5 skipped; %6.")
                       .arg(dryRun ? QLatin1String("Would add") : QLatin1String("Added"))
                       .arg(plural(pairsAdded(), "question", "questions"))
                       .arg(plural(used, "category", "categories"))
                       .arg(plural(duplicates, "duplicate", "duplicates"))
                       .arg(plural(skippedKinds, "multiple-choice or true/false question",
                                   "multiple-choice or true/false questions"))
                       .arg(plural(recordsRefused(), "record refused", "records refused"));
    return text;
}

QuestionImporter::QuestionImporter(TriviaDatabase& db) : db_(db) {}

QuestionImporter::QuestionImporter(TriviaDatabase& db, Options options) : db_(db), options_(options) {}

void QuestionImporter::setErrorHandler(ErrorHandler handler) {
    onError_ = std::move(handler);
}

void QuestionImporter::setProgressHandler(ProgressHandler handler) {
    onProgress_ = std::move(handler);
}

void QuestionImporter::reportProgress(double done, qint64 records) {
    if (onProgress_)
        onProgress_(done, records);
}

// Reading comes first and writes nothing, so that a file cut off in the middle is refused
// before any of it reaches the database.
QuestionImporter::Summary QuestionImporter::import(RecordReader& reader) {
    Summary summary;
    summary.dryRun = options_.dryRun;
    pending_.clear();
    categoryRefusals_.clear();
    pendingCount_ = 0;
    saved_ = 0;
    ImportRecord record;
    while (reader.next(&record)) {
        ++summary.recordsRead;
        take(record, reader.unit(), &summary);
        if (summary.recordsRead % kProgressEvery == 0)
            reportProgress(reader.progress() / 2, summary.recordsRead);
    }
    if (!reader.failure().isEmpty()) {
        summary.outcome = Outcome::CannotReadFile;
        summary.failure = reader.failure();
        return summary;
    }
    save(&summary);
    reportProgress(1.0, summary.recordsRead);
    return summary;
}

void QuestionImporter::take(const ImportRecord& record, const QString& unit, Summary* summary) {
    if (!record.error.isEmpty()) {
        refuse(record, unit, record.error, nullptr, summary);
        return;
    }
    const QString category = PairRules::categoryName(record.category);
    if (category.isEmpty()) {
        refuse(record, unit, PairRules::categoryRefusal(category), nullptr, summary);
        return;
    }
    CategoryCounts& counts = summary->categories[category];
    // A file holds few categories and many pairs: the name is checked, and a bad one reported,
    // once; the category's line in the summary counts the rest.
    auto known = categoryRefusals_.constFind(category);
    if (known != categoryRefusals_.cend() && !known->isEmpty()) {
        ++counts.refused;
        return;
    }
    if (known == categoryRefusals_.cend()) {
        known = categoryRefusals_.insert(category, PairRules::categoryRefusal(category));
        if (!known->isEmpty()) {
            refuse(record, unit, *known + QLatin1String("; no pair of it is imported"), &counts, summary);
            return;
        }
    }
    const QString question = PairRules::cleaned(record.question);
    const QString answer = PairRules::cleaned(record.answer);
    const QString why = PairRules::refusal(question, answer);
    if (!why.isEmpty()) {
        refuse(record, unit, why, &counts, summary);
        return;
    }
    if (!options_.keepChoiceQuestions) {
        if (record.trueFalse || PairRules::isTrueFalseAnswer(answer)) {
            ++counts.trueFalse;
            return;
        }
        if (PairRules::refersToOptions(question)) {
            ++counts.multipleChoice;
            return;
        }
    }
    pending_[category].append({question, answer});
    ++pendingCount_;
}

void QuestionImporter::refuse(const ImportRecord& record, const QString& unit, const QString& reason,
                              CategoryCounts* counts, Summary* summary) const {
    if (counts)
        ++counts->refused;
    else
        ++summary->unreadable;
    if (onError_)
        onError_(RecordError{record.number, unit, reason});
}

void QuestionImporter::save(Summary* summary) {
    if (pending_.isEmpty())
        return;
    if (db_.open() != DbStatus::Ok) {
        fail(summary, db_.errorText());
        return;
    }
    if (!options_.keepGoing) {
        saveGroup(pending_.keys(), summary);
        return;
    }
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        saveGroup({it.key()}, summary);
}

// One transaction for the group's categories: all of them are saved, or none.
void QuestionImporter::saveGroup(const QStringList& group, Summary* summary) {
    bool saved = db_.beginBatch() == DbStatus::Ok;
    for (const QString& category : group) {
        if (!saved)
            break;
        saved = saveCategory(category, pending_.value(category), &summary->categories[category]);
    }
    if (saved)
        saved = (options_.dryRun ? db_.rollbackBatch() : db_.commitBatch()) == DbStatus::Ok;
    if (saved)
        return;
    const QString why = db_.errorText();
    db_.rollbackBatch(); // fails harmlessly when the failed step already ended the transaction
    for (const QString& category : group) {
        CategoryCounts& counts = summary->categories[category];
        counts.added = 0;
        counts.failure = why;
    }
    fail(summary, options_.keepGoing ? QStringLiteral("not every category was saved: %1").arg(why)
                                     : QStringLiteral("nothing was imported: %1").arg(why));
}

bool QuestionImporter::saveCategory(const QString& category, const Pairs& pairs, CategoryCounts* counts) {
    const QString table = storedCategory(category);
    if (table.isEmpty())
        return false;
    QSet<QPair<QString, QString>> seen;
    const auto remember = [&seen](const TriviaDatabase::Pair& pair) {
        seen.insert({pair.question, pair.answer});
    };
    if (db_.forEachPair(table, remember) != DbStatus::Ok)
        return false;
    Pairs fresh;
    fresh.reserve(pairs.size());
    for (const auto& pair : pairs) {
        if (seen.contains(pair)) {
            ++counts->duplicates;
            continue;
        }
        seen.insert(pair);
        fresh.append(pair);
    }
    for (qsizetype start = 0; start < fresh.size(); start += kInsertChunk) {
        const Pairs chunk = fresh.mid(start, kInsertChunk);
        if (db_.addPairs(table, chunk) != DbStatus::Ok)
            return false;
        saved_ += chunk.size();
        reportProgress(0.5 + 0.5 * double(saved_) / double(pendingCount_), saved_);
    }
    counts->added = fresh.size();
    return true;
}

// The category's stored name, created when missing; empty when neither works.
QString QuestionImporter::storedCategory(const QString& category) {
    if (const std::optional<QString> stored = db_.findCategory(category))
        return *stored;
    return db_.createCategory(category) == DbStatus::Ok ? category : QString();
}

void QuestionImporter::fail(Summary* summary, const QString& what) const {
    qCWarning(lcData) << "import failed:" << what;
    summary->outcome = Outcome::DatabaseFailed;
    summary->failure = what;
}

} // namespace palvuro
