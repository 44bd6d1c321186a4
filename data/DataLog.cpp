#include "data/DataLog.h"

Q_LOGGING_CATEGORY(lcData, "palvuro.data", QtWarningMsg)
