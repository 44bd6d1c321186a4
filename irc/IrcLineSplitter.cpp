#include "irc/IrcLineSplitter.h"

#include <QStringView>

#include <algorithm>

namespace palvuro {
namespace {

constexpr int kLineBytes = 512;
constexpr int kWidestCharacter = 4;
constexpr QChar kBold(0x02);
constexpr QChar kReset(0x0F);

// The bytes UTF-8 gives the character at POS (a lone surrogate becomes U+FFFD), and how many
// UTF-16 units it spans.
int utf8Bytes(QStringView line, qsizetype pos, qsizetype* units) {
    const char16_t c = line.at(pos).unicode();
    *units = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && pos + 1 < line.size() && line.at(pos + 1).isLowSurrogate()) {
        *units = 2;
        return 4;
    }
    return 3;
}

// Where one piece that starts at START ends and where the next one starts: as much as BUDGET
// bytes hold, or, when a blank falls in the last fifth of that, at the blank, which is dropped
// so the continuation does not begin with it. At least one character, however small BUDGET is.
struct Cut {
    qsizetype end;
    qsizetype next;
};
Cut pieceEnd(QStringView line, qsizetype start, int budget) {
    int bytes = 0;
    qsizetype blank = -1;
    int bytesBeforeBlank = 0;
    for (qsizetype pos = start; pos < line.size();) {
        qsizetype units = 1;
        const int width = utf8Bytes(line, pos, &units);
        if (bytes + width > budget && bytes > 0) {
            if (blank > start && bytesBeforeBlank >= budget - budget / 5)
                return {blank, blank + 1};
            return {pos, pos};
        }
        if (line.at(pos) == QLatin1Char(' ')) {
            blank = pos;
            bytesBeforeBlank = bytes;
        }
        bytes += width;
        pos += units;
    }
    return {line.size(), line.size()};
}

// Whether bold is on at the end of PIECE when it was ON at its start.
bool boldAfter(QStringView piece, bool on) {
    for (const QChar c : piece) {
        if (c == kBold)
            on = !on;
        else if (c == kReset)
            on = false;
    }
    return on;
}

// A server ends every format with its message, so a bold run cut in two is opened again at
// the start of the continuation.
void appendPieces(QStringView line, int budget, QList<QByteArray>& out) {
    const bool roomToReopen = budget > kWidestCharacter;
    bool bold = false;
    for (qsizetype start = 0; start < line.size();) {
        const bool reopen = bold && roomToReopen;
        const Cut cut = pieceEnd(line, start, reopen ? budget - 1 : budget);
        const QStringView piece = line.mid(start, cut.end - start);
        out.append(reopen ? QString(kBold).toUtf8() + piece.toUtf8() : piece.toUtf8());
        bold = boldAfter(piece, bold);
        start = cut.next;
    }
}

} // namespace

int IrcLineSplitter::textBudget(int prefixBytes, int targetBytes) {
    // ":" PREFIX " PRIVMSG " TARGET " :" TEXT "\r\n"
    const int overhead = 1 + prefixBytes + 9 + targetBytes + 2 + 2;
    return std::max(kLineBytes - overhead, kWidestCharacter);
}

QList<QByteArray> IrcLineSplitter::split(const QString& text, int budget) {
    QString clean = text;
    clean.remove(QChar(u'\0'));
    clean.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    clean.replace(QChar(u'\r'), QChar(u'\n'));
    QList<QByteArray> out;
    const int limit = std::max(budget, kWidestCharacter);
    for (QStringView line : QStringView(clean).split(u'\n', Qt::SkipEmptyParts))
        appendPieces(line, limit, out);
    return out;
}

} // namespace palvuro
