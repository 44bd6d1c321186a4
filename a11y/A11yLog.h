#pragma once

#include <QLoggingCategory>

// What the accessibility bus refused or could not find, and why.
Q_DECLARE_LOGGING_CATEGORY(lcA11y)
