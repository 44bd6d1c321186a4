#include "data/CsvReader.h"

#include "data/TextFile.h"

#include <algorithm>

namespace palvuro {

namespace {

bool isLineEnd(QChar c) {
    return c == u'\n' || c == u'\r';
}

int columnNamed(const QStringList& header, std::initializer_list<const char*> names) {
    for (int i = 0; i < header.size(); ++i) {
        const QString name = header[i].trimmed();
        for (const char* candidate : names) {
            if (name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

bool isBlankRow(const QStringList& fields) {
    return std::all_of(fields.cbegin(), fields.cend(),
                       [](const QString& f) { return f.trimmed().isEmpty(); });
}

} // namespace

CsvReader::CsvReader(const QByteArray& bytes, const QString& defaultCategory)
    : text_(TextFile::decoded(bytes)), defaultCategory_(defaultCategory) {}

double CsvReader::progress() const {
    return text_.isEmpty() ? 1.0 : double(std::min(pos_, text_.size())) / double(text_.size());
}

// Consumes one line end after the field (CR LF, LF or a lone CR) and counts it.
bool CsvReader::readRow(QStringList* fields, QString* error) {
    fields->clear();
    if (pos_ >= text_.size())
        return false;
    QString field;
    for (;;) {
        if (pos_ < text_.size() && text_.at(pos_) == u'"') {
            field = readQuotedField(error);
            // Text after a closing quote is kept rather than lost: spreadsheets never write it.
            while (pos_ < text_.size() && text_.at(pos_) != u',' && !isLineEnd(text_.at(pos_)))
                field += text_.at(pos_++);
        } else {
            const qsizetype start = pos_;
            while (pos_ < text_.size() && text_.at(pos_) != u',' && !isLineEnd(text_.at(pos_)))
                ++pos_;
            field = text_.mid(start, pos_ - start);
        }
        fields->append(field);
        if (pos_ >= text_.size())
            return true;
        const QChar end = text_.at(pos_++);
        if (end == u',')
            continue;
        if (end == u'\r' && pos_ < text_.size() && text_.at(pos_) == u'\n')
            ++pos_;
        ++line_;
        return true;
    }
}

QString CsvReader::readQuotedField(QString* error) {
    QString field;
    ++pos_; // the opening quote
    for (;;) {
        const qsizetype quote = text_.indexOf(u'"', pos_);
        if (quote < 0) {
            *error = QStringLiteral("a quoted field is not closed before the end of the file");
            for (qsizetype i = pos_; i < text_.size(); ++i)
                line_ += text_.at(i) == u'\n' ? 1 : 0;
            pos_ = text_.size();
            return field;
        }
        const QStringView part = QStringView(text_).mid(pos_, quote - pos_);
        line_ += part.count(u'\n');
        field += part;
        pos_ = quote + 1;
        if (pos_ < text_.size() && text_.at(pos_) == u'"') {
            field += u'"';
            ++pos_;
            continue;
        }
        return field;
    }
}

void CsvReader::readHeader() {
    headerChecked_ = true;
    const qsizetype start = pos_;
    const qint64 startLine = line_;
    QStringList header;
    QString error;
    if (!readRow(&header, &error))
        return;
    question_ = columnNamed(header, {"question", "questions", "q", "prompt"});
    answer_ = columnNamed(header, {"answer", "answers", "a", "correct_answer", "correct answer"});
    category_ = columnNamed(header, {"category", "categories", "topic", "subject"});
    if (question_ >= 0 && answer_ >= 0 && error.isEmpty())
        return;
    // No header: the first row is a pair, and its width says which values the file holds.
    pos_ = start;
    line_ = startLine;
    const bool withCategory = header.size() >= 3;
    category_ = withCategory ? 0 : -1;
    question_ = withCategory ? 1 : 0;
    answer_ = withCategory ? 2 : 1;
}

void CsvReader::takeFields(const QStringList& fields, ImportRecord* record) const {
    const int needed = std::max({category_, question_, answer_}) + 1;
    if (fields.size() < needed) {
        record->error = QStringLiteral("expected %1 fields, found %2").arg(needed).arg(fields.size());
        return;
    }
    if (!setCategoryFromLabel(category_ >= 0 ? fields[category_] : defaultCategory_, record))
        return;
    record->question = fields[question_];
    record->answer = fields[answer_];
}

bool CsvReader::next(ImportRecord* record) {
    if (!headerChecked_)
        readHeader();
    QStringList fields;
    for (;;) {
        const qint64 firstLine = line_;
        QString error;
        if (!readRow(&fields, &error))
            return false;
        if (error.isEmpty() && isBlankRow(fields))
            continue;
        *record = ImportRecord{};
        record->number = firstLine;
        if (!error.isEmpty())
            record->error = error;
        else
            takeFields(fields, record);
        return true;
    }
}

} // namespace palvuro
