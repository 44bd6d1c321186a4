#include "chatclient/ChatClientLog.h"

Q_LOGGING_CATEGORY(lcChatClient, "palvuro.chatclient", QtWarningMsg)
