#include "irc/IrcLineSplitter.h"

#include <QStringView>

#include <algorithm>

namespace palvuro {
namespace {

constexpr int kLineBytes = 512;
constexpr int kWidestCharacter = 4;

void appendChunks(QStringView line, int budget, QList<QByteArray>& out) {
    QByteArray chunk;
    for (qsizetype pos = 0; pos < line.size();) {
        const qsizetype units =
            line.at(pos).isHighSurrogate() && pos + 1 < line.size() && line.at(pos + 1).isLowSurrogate() ? 2
                                                                                                         : 1;
        const QByteArray bytes = line.mid(pos, units).toUtf8();
        pos += units;
        if (chunk.size() + bytes.size() > budget && !chunk.isEmpty()) {
            out.append(chunk);
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        out.append(chunk);
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
