#include "commands/CommandsLog.h"

Q_LOGGING_CATEGORY(lcCommands, "palvuro.commands", QtWarningMsg)

namespace palvuro {

void warnCommandFailed(const char* command, const QString& cause) {
    qCWarning(lcCommands).noquote() << command << "failed:" << cause;
}

} // namespace palvuro
