#include "data/TsvReader.h"

#include "data/TextFile.h"

#include <QStringList>

namespace palvuro {

namespace {

bool isBlank(QStringView line) {
    for (QChar c : line) {
        if (c != u' ' && c != u'\t')
            return false;
    }
    return true;
}

} // namespace

TsvReader::TsvReader(const QByteArray& bytes) : lines_(TextFile::decoded(bytes)) {}

namespace {

bool isHeader(const QList<QStringView>& fields) {
    static const char* const names[] = {"category", "question", "answer"};
    if (fields.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (fields[i].trimmed().compare(QLatin1String(names[i]), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

} // namespace

bool TsvReader::next(ImportRecord* record) {
    while (!lines_.atEnd()) {
        const QStringView line = lines_.next();
        if (isBlank(line))
            continue;
        const QList<QStringView> fields = line.split(u'\t');
        const bool header = isHeader(fields);
        if (header && lines_.lineNumber() == 1)
            continue;
        *record = ImportRecord{};
        record->number = lines_.lineNumber();
        if (header)
            record->error = QStringLiteral("header line after the first line");
        else if (fields.size() != 3)
            record->error =
                QStringLiteral("expected 3 tab-separated fields (category, question, answer), found %1")
                    .arg(fields.size());
        else {
            record->category = fields[0].toString();
            record->question = fields[1].toString();
            record->answer = fields[2].toString();
        }
        return true;
    }
    return false;
}

} // namespace palvuro
