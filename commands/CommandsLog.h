#pragma once

#include <QLoggingCategory>
#include <QString>

// Failures that are silent by design in the room or the window still leave a line here.
Q_DECLARE_LOGGING_CATEGORY(lcCommands)

namespace palvuro {

// The room hears silence or a stock line when a command cannot reach the database; the
// operator's log hears the cause.
void warnCommandFailed(const char* command, const QString& cause);

} // namespace palvuro
