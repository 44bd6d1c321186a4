#pragma once

#include <QLoggingCategory>

// Failures that are silent by design in the room or the window still leave a line here.
Q_DECLARE_LOGGING_CATEGORY(lcAdmin)
