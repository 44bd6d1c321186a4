#include "irc/IrcText.h"

#include "platform/Windows1252.h"

#include <QStringDecoder>

namespace palvuro {
namespace {

constexpr char16_t kColour = 0x03;
constexpr char16_t kHexColour = 0x04;

bool isDigit(const QString& text, qsizetype pos) {
    return pos < text.size() && text.at(pos) >= u'0' && text.at(pos) <= u'9';
}

bool isHexDigit(const QString& text, qsizetype pos) {
    if (pos >= text.size())
        return false;
    const char16_t c = text.at(pos).unicode();
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Up to MAX characters that satisfy IS, from POS on.
template <typename Test> qsizetype skipRun(const QString& text, qsizetype pos, int max, Test is) {
    int taken = 0;
    while (taken < max && is(text, pos)) {
        ++pos;
        ++taken;
    }
    return pos;
}

// After \x03: up to two digits of foreground, then ",", up to two of background. A comma that is
// not followed by a digit is text ("\x0312,hello" keeps ",hello").
qsizetype skipColour(const QString& text, qsizetype pos, int width, bool (*is)(const QString&, qsizetype)) {
    const qsizetype afterFg = skipRun(text, pos, width, is);
    if (afterFg == pos)
        return pos;
    if (afterFg < text.size() && text.at(afterFg) == u',' && is(text, afterFg + 1))
        return skipRun(text, afterFg + 1, width, is);
    return afterFg;
}

} // namespace

QString IrcText::decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return Windows1252::decode(bytes);
}

QString IrcText::stripFormatting(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype pos = 0; pos < text.size();) {
        const char16_t c = text.at(pos).unicode();
        ++pos;
        if (c == kColour)
            pos = skipColour(text, pos, 2, isDigit);
        else if (c == kHexColour)
            pos = skipColour(text, pos, 6, isHexDigit);
        // Every other control character is dropped: besides the plain toggles (bold, reset,
        // italics, underline, reverse, monospace, strikethrough) none means anything in a line of
        // chat, and a CTCP marker or a bell must not reach the room.
        if (c < 0x20 || c == 0x7F)
            continue;
        out += QChar(c);
    }
    return out;
}

QString IrcText::plain(const QByteArray& bytes) {
    return stripFormatting(decode(bytes));
}

} // namespace palvuro
