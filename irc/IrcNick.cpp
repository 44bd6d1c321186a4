#include "irc/IrcNick.h"

#include <algorithm>

namespace palvuro {

QString IrcNick::alternative(const QString& wanted, int attempt, int maxLength) {
    const QString suffix = attempt <= 1 ? QStringLiteral("_") : QString::number(attempt);
    const qsizetype room = std::max<qsizetype>(1, maxLength - suffix.size());
    return wanted.left(room) + suffix;
}

} // namespace palvuro
