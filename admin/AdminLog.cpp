#include "admin/AdminLog.h"

Q_LOGGING_CATEGORY(lcAdmin, "palvuro.admin", QtWarningMsg)
