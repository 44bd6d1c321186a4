#pragma once

#include <QLoggingCategory>

// Failures of the supervisor itself that its status lines do not name.
Q_DECLARE_LOGGING_CATEGORY(lcHost)
