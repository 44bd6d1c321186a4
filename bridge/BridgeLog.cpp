#include "bridge/BridgeLog.h"

Q_LOGGING_CATEGORY(lcBridge, "palvuro.bridge", QtWarningMsg)
