#include "data/StarLineReader.h"

#include "data/TextFile.h"

namespace palvuro {

StarLineReader::StarLineReader(const QByteArray& bytes, const QString& category)
    : lines_(TextFile::decoded(bytes)), category_(category) {}

bool StarLineReader::next(ImportRecord* record) {
    while (!lines_.atEnd()) {
        const QStringView line = lines_.next();
        if (line.trimmed().isEmpty())
            continue;
        *record = ImportRecord{};
        record->number = lines_.lineNumber();
        const qsizetype stars = line.count(u'*');
        // With two stars there is no telling whether the question holds one ("6*7") or the
        // line holds a second answer: guessing would store junk either way.
        if (stars != 1)
            record->error =
                stars == 0 ? QStringLiteral("no \"*\" between the question and the answer")
                           : QStringLiteral(
                                 "%1 \"*\" on the line; expected one, between the question and the answer")
                                 .arg(stars);
        else if (setCategoryFromLabel(category_, record)) {
            const qsizetype star = line.indexOf(u'*');
            record->question = line.left(star).toString();
            record->answer = line.mid(star + 1).toString();
        }
        return true;
    }
    return false;
}

} // namespace palvuro
