#pragma once

#include <QString>

namespace palvuro {

// The machine's running programs, as far as this user may see them.
class ProcessTable {
public:
    // Whether a process named NAME (its command name, as `ps -e` shows it) runs.
    static bool runs(const QString& name);
};

} // namespace palvuro
