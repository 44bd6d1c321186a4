#include "data/QuestionImporter.h"

#include "data/Spaces.h"
#include "data/TriviaDatabase.h"

#include <QElapsedTimer>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

#include <vector>

namespace palvuro {

namespace {

enum class ReadResult { Line, TooLong, End, Failed };

// Reads line by line into one buffer, so that a hostile file with no line breaks costs no more
// memory than the longest acceptable line.
class LineReader {
public:
    LineReader(QIODevice& in, qint64 limit) : in_(in), limit_(limit), buffer_(limit + 3) {}

    // One line without its line end; a line over the limit is consumed whole and reported.
    ReadResult next(QByteArray* line) {
        if (in_.atEnd())
            return ReadResult::End;
        qint64 size = readChunk();
        if (size <= 0)
            return ReadResult::Failed;
        *line = QByteArray(buffer_.data(), size);
        bool tooLong = false;
        while (buffer_[size - 1] != '\n' && size > limit_ && !in_.atEnd()) {
            tooLong = true;
            size = readChunk();
            if (size <= 0)
                return ReadResult::Failed;
        }
        if (tooLong)
            return ReadResult::TooLong;
        if (line->endsWith('\n'))
            line->chop(1);
        if (line->endsWith('\r'))
            line->chop(1);
        return line->size() > limit_ ? ReadResult::TooLong : ReadResult::Line;
    }

private:
    // Up to limit + 2 bytes: a line of the limit's length still fits with its CR LF.
    qint64 readChunk() { return in_.readLine(buffer_.data(), qint64(buffer_.size())); }

    QIODevice& in_;
    qint64 limit_;
    std::vector<char> buffer_;
};

bool isBlank(const QByteArray& line) {
    for (char c : line) {
        if (c != ' ' && c != '\t')
            return false;
    }
    return true;
}

std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool isHeader(const QStringList& fields) {
    static const QStringList names{"category", "question", "answer"};
    if (fields.size() != names.size())
        return false;
    for (int i = 0; i < names.size(); ++i) {
        if (fields[i].trimmed().compare(names[i], Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

bool hasControlCharacter(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// Why a stored question or answer cannot be used, or an empty text.
QString checkValue(const char* what, const QString& value) {
    if (value.isEmpty())
        return QStringLiteral("empty %1").arg(QLatin1String(what));
    if (value.size() > QuestionImporter::MaxFieldLength) {
        return QStringLiteral("%1 is %2 characters long (at most %3)")
            .arg(QLatin1String(what))
            .arg(value.size())
            .arg(QuestionImporter::MaxFieldLength);
    }
    if (hasControlCharacter(value))
        return QStringLiteral("%1 holds a control character").arg(QLatin1String(what));
    return {};
}

QString plural(qint64 count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

qint64 QuestionImporter::Summary::pairsAdded() const {
    qint64 total = 0;
    for (qint64 count : added)
        total += count;
    return total;
}

QString QuestionImporter::Summary::text() const {
    QString result = QStringLiteral("Added ") + plural(pairsAdded(), "question", "questions");
    if (!added.isEmpty()) {
        QStringList parts;
        for (auto it = added.cbegin(); it != added.cend(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        result += QStringLiteral(" in %1 (%2)")
                      .arg(plural(added.size(), "category", "categories"), parts.join(QStringLiteral(", ")));
    }
    return result + QStringLiteral("; %1.").arg(plural(linesSkipped, "line skipped", "lines skipped"));
}

QuestionImporter::QuestionImporter(TriviaDatabase& db) : db_(db) {}

void QuestionImporter::setErrorHandler(ErrorHandler handler) {
    onError_ = std::move(handler);
}

QuestionImporter::Summary QuestionImporter::importFile(const QString& path) {
    Summary summary;
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        summary.outcome = Outcome::CannotReadFile;
        summary.failure = QStringLiteral("%1 is a folder, not a file").arg(path);
        return summary;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        summary.outcome = Outcome::CannotReadFile;
        summary.failure = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return summary;
    }
    return import(file);
}

QuestionImporter::Summary QuestionImporter::import(QIODevice& in) {
    Summary summary;
    if (!openDatabase(&summary))
        return summary;
    LineReader reader(in, MaxLineBytes);
    QByteArray line;
    // Rows go in batches of about half a second: one disk sync per batch instead of per row,
    // and the bot's score updates never wait long for the file.
    QElapsedTimer batchAge;
    if (!beginBatch(&summary))
        return summary;
    batchAge.start();
    for (;;) {
        if (batchAge.elapsed() > MaxBatchMs) {
            if (!commitBatch(&summary) || !beginBatch(&summary))
                return summary;
            batchAge.restart();
        }
        const ReadResult read = reader.next(&line);
        if (read == ReadResult::End)
            break;
        if (read == ReadResult::Failed) {
            summary.outcome = Outcome::CannotReadFile;
            summary.failure = QStringLiteral("reading stopped after line %1: %2")
                                  .arg(summary.linesRead)
                                  .arg(in.errorString());
            break;
        }
        ++summary.linesRead;
        if (read == ReadResult::TooLong)
            skip(summary.linesRead, QStringLiteral("line is longer than %1 bytes").arg(MaxLineBytes),
                 &summary);
        else
            importLine(line, summary.linesRead, &summary);
        if (summary.outcome != Outcome::Done)
            break;
    }
    commitBatch(&summary);
    return summary;
}

bool QuestionImporter::beginBatch(Summary* summary) {
    if (db_.beginBatch() == DbStatus::Ok)
        return true;
    fail(summary, QStringLiteral("cannot write to %1: %2").arg(db_.filePath(), db_.errorText()));
    return false;
}

// A batch that cannot be saved is lost whole: the counts must not claim its rows.
bool QuestionImporter::commitBatch(Summary* summary) {
    if (db_.commitBatch() == DbStatus::Ok) {
        saved_ = summary->added;
        return true;
    }
    summary->added = saved_;
    fail(summary,
         QStringLiteral("cannot save the imported pairs in %1: %2").arg(db_.filePath(), db_.errorText()));
    return false;
}

bool QuestionImporter::openDatabase(Summary* summary) {
    if (db_.isOpen())
        return true;
    const DbStatus status = db_.open();
    if (status == DbStatus::Ok)
        return true;
    summary->outcome = Outcome::DatabaseFailed;
    if (status == DbStatus::NotADatabase)
        summary->failure = QStringLiteral("%1 is not a database").arg(db_.filePath());
    else
        summary->failure = QStringLiteral("cannot open %1: %2").arg(db_.filePath(), db_.errorText());
    return false;
}

void QuestionImporter::importLine(const QByteArray& bytes, qint64 lineNumber, Summary* summary) {
    if (isBlank(bytes))
        return;
    QString reason;
    const std::optional<Pair> pair = parseLine(bytes, &reason);
    if (!pair) {
        if (lineNumber == 1 && reason.isEmpty())
            return; // the header
        skip(lineNumber, reason.isEmpty() ? QStringLiteral("header line after the first line") : reason,
             summary);
        return;
    }
    const CategoryResult category = resolveCategory(pair->category);
    if (category.fatal) {
        fail(summary, QStringLiteral("line %1: %2").arg(lineNumber).arg(category.error));
        return;
    }
    if (!category.error.isEmpty()) {
        skip(lineNumber, category.error, summary);
        return;
    }
    if (db_.addPair(category.storedName, pair->question, pair->answer) != DbStatus::Ok) {
        fail(summary, QStringLiteral("line %1: cannot add the pair to %2: %3")
                          .arg(lineNumber)
                          .arg(category.storedName, db_.errorText()));
        return;
    }
    ++summary->added[category.storedName];
}

// Empty reason with no pair: the line is the header.
std::optional<QuestionImporter::Pair> QuestionImporter::parseLine(const QByteArray& bytes, QString* reason) {
    const std::optional<QString> text = decodeUtf8(bytes);
    if (!text) {
        *reason = QStringLiteral("not valid UTF-8");
        return std::nullopt;
    }
    const QStringList fields = text->split(u'\t');
    if (isHeader(fields))
        return std::nullopt;
    if (fields.size() != 3) {
        *reason = QStringLiteral("expected 3 tab-separated fields (category, question, answer), found %1")
                      .arg(fields.size());
        return std::nullopt;
    }
    Pair pair{Spaces::trimmed(fields[0]), Spaces::storedForm(fields[1]), Spaces::storedForm(fields[2])};
    if (pair.category.isEmpty())
        *reason = QStringLiteral("empty category");
    else if (QString why = checkValue("question", pair.question); !why.isEmpty())
        *reason = why;
    else if (QString whyAnswer = checkValue("answer", pair.answer); !whyAnswer.isEmpty())
        *reason = whyAnswer;
    if (!reason->isEmpty())
        return std::nullopt;
    return pair;
}

QuestionImporter::CategoryResult QuestionImporter::resolveCategory(const QString& category) {
    const QString key = Spaces::storedForm(category);
    auto cached = categories_.constFind(key);
    if (cached != categories_.cend())
        return *cached;
    CategoryResult result;
    if (const std::optional<QString> stored = db_.findCategory(category))
        result.storedName = *stored;
    else
        result = createCategory(category);
    if (!result.fatal)
        categories_.insert(key, result);
    return result;
}

QuestionImporter::CategoryResult QuestionImporter::createCategory(const QString& category) {
    CategoryResult result;
    const DbStatus status = db_.createCategory(category);
    if (status == DbStatus::InvalidName) {
        result.error = QStringLiteral("\"%1\" is not a valid category name (letters, digits and underscores, "
                                      "not starting with a digit, not a reserved word)")
                           .arg(category);
        return result;
    }
    if (status != DbStatus::Ok && status != DbStatus::AlreadyExists) {
        result.error = QStringLiteral("cannot create the category %1: %2").arg(category, db_.errorText());
        result.fatal = true;
        return result;
    }
    if (const std::optional<QString> stored = db_.findCategory(category))
        result.storedName = *stored;
    else if (status == DbStatus::AlreadyExists)
        result.error = QStringLiteral("\"%1\" names a table that is not a category").arg(category);
    else
        result.storedName = Spaces::storedForm(category);
    return result;
}

void QuestionImporter::fail(Summary* summary, const QString& what) const {
    summary->outcome = Outcome::DatabaseFailed;
    summary->failure = what;
}

void QuestionImporter::skip(qint64 lineNumber, const QString& reason, Summary* summary) const {
    ++summary->linesSkipped;
    if (onError_)
        onError_(LineError{lineNumber, reason});
}

} // namespace palvuro
