#include "commands/PrivateReply.h"

namespace palvuro {

QString PrivateReply::to(const QString& nick, const QString& text) {
    return QStringLiteral("/msg ") + nick + QStringLiteral(" <b>") + text + QStringLiteral("</b>");
}

} // namespace palvuro
