#include "platform/LetterCase.h"

#include "platform/Windows1252.h"
#include "platform/Windows1252BestFit.h"

namespace palvuro {
namespace {

bool inCodePage(char32_t c) {
    return c <= 0xFFFF && Windows1252::holds(char16_t(c));
}

// A letter of the code page whose capital is not in it goes out and comes back as the best
// fit of that capital; where the table has none, the letter stays as it is.
char32_t upperOf(char32_t c) {
    if (c < 0x80)
        return c >= U'a' && c <= U'z' ? c - (U'a' - U'A') : c;
    const char32_t capital = QChar::toUpper(c);
    if (QChar::requiresSurrogates(capital) != QChar::requiresSurrogates(c))
        return c;
    if (capital == c || inCodePage(capital) || !inCodePage(c))
        return capital;
    const int byte = Windows1252BestFit::byteFor(char16_t(capital));
    if (byte < 0)
        return c;
    const char b = static_cast<char>(byte);
    return Windows1252::decode(&b, 1).at(0).unicode();
}

} // namespace

QString LetterCase::upper(const QString& text) {
    QString out = text;
    QChar* data = out.data();
    const qsizetype size = out.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (!(data[i].isHighSurrogate() && i + 1 < size && data[i + 1].isLowSurrogate())) {
            data[i] = QChar(char16_t(upperOf(data[i].unicode())));
            continue;
        }
        const char32_t capital = upperOf(QChar::surrogateToUcs4(data[i], data[i + 1]));
        data[i] = QChar(QChar::highSurrogate(capital));
        data[++i] = QChar(QChar::lowSurrogate(capital));
    }
    return out;
}

} // namespace palvuro
