#include "chat/ChatLog.h"

Q_LOGGING_CATEGORY(lcChat, "palvuro.chat", QtWarningMsg)
