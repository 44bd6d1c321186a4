#include "a11y/A11yLog.h"

Q_LOGGING_CATEGORY(lcA11y, "palvuro.a11y", QtWarningMsg)
