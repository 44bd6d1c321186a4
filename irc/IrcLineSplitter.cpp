#include "irc/IrcLineSplitter.h"

#include <QStringView>

#include <algorithm>

namespace palvuro {
namespace {

constexpr int kLineBytes = 512;
constexpr int kWidestCharacter = 4;

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

void appendChunks(QStringView line, int budget, QList<QByteArray>& out) {
    qsizetype start = 0;
    int bytes = 0;
    for (qsizetype pos = 0; pos < line.size();) {
        qsizetype units = 1;
        const int width = utf8Bytes(line, pos, &units);
        if (bytes + width > budget && bytes > 0) {
            out.append(line.mid(start, pos - start).toUtf8());
            start = pos;
            bytes = 0;
        }
        bytes += width;
        pos += units;
    }
    if (bytes > 0)
        out.append(line.mid(start).toUtf8());
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
        appendChunks(line, limit, out);
    return out;
}

} // namespace palvuro
