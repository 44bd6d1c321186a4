#pragma once

#include <QLoggingCategory>

// The chat client's lines that could not reach the network, and why.
Q_DECLARE_LOGGING_CATEGORY(lcChatClient)
