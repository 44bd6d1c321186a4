#include "irc/IrcLog.h"

Q_LOGGING_CATEGORY(lcIrc, "palvuro.irc", QtWarningMsg)
