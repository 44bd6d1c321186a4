#include "commands/CommandsLog.h"

Q_LOGGING_CATEGORY(lcCommands, "palvuro.commands", QtWarningMsg)
