#include "irc/IrcNick.h"

#include <algorithm>
#include <cstring>

namespace palvuro {
namespace {

constexpr char kModes[] = "~&@%+!";

} // namespace

QByteArray IrcNick::fold(const QByteArray& nick) {
    QByteArray out = nick.toLower();
    for (char& c : out) {
        switch (c) {
        case '[':
            c = '{';
            break;
        case ']':
            c = '}';
            break;
        case '\\':
            c = '|';
            break;
        case '~':
            c = '^';
            break;
        default:
            break;
        }
    }
    return out;
}

QString IrcNick::alternative(const QString& wanted, int attempt, int maxLength) {
    const QString suffix = attempt <= 1 ? QStringLiteral("_") : QString::number(attempt);
    const qsizetype room = std::max<qsizetype>(1, maxLength - suffix.size());
    return wanted.left(room) + suffix;
}

QByteArray IrcNick::withoutModes(const QByteArray& entry) {
    qsizetype pos = 0;
    while (pos < entry.size() && std::memchr(kModes, entry.at(pos), sizeof kModes - 1) != nullptr)
        ++pos;
    return entry.mid(pos);
}

} // namespace palvuro
