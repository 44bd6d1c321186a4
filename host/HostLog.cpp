#include "host/HostLog.h"

Q_LOGGING_CATEGORY(lcHost, "palvuro.host", QtWarningMsg)
