#pragma once

#include <QIcon>

namespace palvuro {

// The program's icon (window and notification area): a question mark on a round badge, the
// pictures the desktop's menu shows, built into the program so that it needs no icon theme.
class ProgramIcon {
public:
    static QIcon make();
};

} // namespace palvuro
