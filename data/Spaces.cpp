#include "data/Spaces.h"
#include "platform/LetterCase.h"

namespace palvuro {

QString Spaces::leftTrimmed(const QString& text) {
    qsizetype first = 0;
    while (first < text.size() && text.at(first) == QLatin1Char(' '))
        ++first;
    return text.mid(first);
}

QString Spaces::trimmed(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return leftTrimmed(text.left(end));
}

QString Spaces::storedForm(const QString& typed) {
    return trimmed(LetterCase::upper(typed));
}

} // namespace palvuro
