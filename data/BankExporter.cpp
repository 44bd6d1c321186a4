#include "data/BankExporter.h"

#include "data/DataLog.h"
#include "data/PairRules.h"
#include "data/ScoreImporter.h"
#include "data/Spaces.h"
#include "data/TriviaDatabase.h"

#include <QIODevice>

namespace palvuro {

namespace {

// Bytes gathered before each write to the device.
constexpr qsizetype kFlushBytes = 256 * 1024;

// Why an import would not give back exactly `value`, or an empty text.
QString changedByImport(const QString& value) {
    return PairRules::isCleaned(value) ? QString() : QStringLiteral("an import would store it differently");
}

// Collects lines and writes them to the device in large pieces.
class Sink {
public:
    explicit Sink(QIODevice& out) : out_(out) { buffer_.reserve(kFlushBytes + 4096); }

    bool addLine(std::initializer_list<QStringView> fields) {
        bool first = true;
        for (QStringView field : fields) {
            if (!first)
                buffer_ += '\t';
            buffer_ += field.toUtf8();
            first = false;
        }
        buffer_ += '\n';
        return buffer_.size() < kFlushBytes || flush();
    }

    bool flush() {
        const bool ok = out_.write(buffer_) == buffer_.size();
        buffer_.clear();
        return ok;
    }

private:
    QIODevice& out_;
    QByteArray buffer_;
};

BankExporter::Result failed(const QString& what) {
    qCWarning(lcData) << "export failed:" << what;
    BankExporter::Result result;
    result.ok = false;
    result.failure = what;
    return result;
}

} // namespace

BankExporter::BankExporter(TriviaDatabase& db) : db_(db) {}

void BankExporter::setSkipHandler(SkipHandler handler) {
    onSkip_ = std::move(handler);
}

void BankExporter::skip(const QString& what, Result* result) const {
    ++result->skipped;
    if (onSkip_)
        onSkip_(what);
}

BankExporter::Result BankExporter::writeQuestions(QIODevice& out) {
    QStringList categories;
    if (db_.listCategories(&categories) != DbStatus::Ok)
        return failed(db_.errorText());
    Result result;
    Sink sink(out);
    bool writing = sink.addLine({u"category", u"question", u"answer"});
    for (const QString& stored : std::as_const(categories)) {
        // Table names ignore letter case; an import writes the name upper-cased.
        const QString name = Spaces::storedForm(stored);
        const QString badName = PairRules::categoryRefusal(name);
        qint64 row = 0;
        const auto take = [&](const TriviaDatabase::Pair& pair) {
            ++row;
            QString why = badName;
            if (why.isEmpty() && (pair.questionNull || pair.answerNull))
                why = QStringLiteral("empty value");
            if (why.isEmpty())
                why = PairRules::refusal(pair.question, pair.answer);
            if (why.isEmpty())
                why = changedByImport(pair.question);
            if (why.isEmpty())
                why = changedByImport(pair.answer);
            if (!why.isEmpty()) {
                skip(QStringLiteral("%1 row %2: %3").arg(stored).arg(row).arg(why), &result);
                return;
            }
            writing = writing && sink.addLine({name, pair.question, pair.answer});
            ++result.written;
        };
        if (db_.forEachPair(stored, take) != DbStatus::Ok)
            return failed(db_.errorText());
    }
    if (!(writing && sink.flush()))
        return failed(QStringLiteral("cannot write the questions: %1").arg(out.errorString()));
    return result;
}

BankExporter::Result BankExporter::writeScores(QIODevice& out) {
    QList<TriviaDatabase::Score> scores;
    if (db_.allScores(&scores) != DbStatus::Ok)
        return failed(db_.errorText());
    Result result;
    Sink sink(out);
    bool writing = true;
    for (const TriviaDatabase::Score& score : std::as_const(scores)) {
        const QString why = ScoreImporter::nickRefusal(score.nick);
        if (!why.isEmpty()) {
            skip(QStringLiteral("the score of \"%1\": %2").arg(score.nick, why), &result);
            continue;
        }
        writing = writing && sink.addLine({score.nick, QString::number(score.points)});
        ++result.written;
    }
    if (!(writing && sink.flush()))
        return failed(QStringLiteral("cannot write the scores: %1").arg(out.errorString()));
    return result;
}

} // namespace palvuro
