#pragma once

#include <QLoggingCategory>

// What the bridge could not read from or type into the client, and why.
Q_DECLARE_LOGGING_CATEGORY(lcBridge)
