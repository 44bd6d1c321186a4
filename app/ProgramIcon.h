#pragma once

#include <QIcon>

namespace palvuro {

// The program's icon (window and notification area): a question mark on a round badge,
// drawn at start-up so that no image file has to travel with the program.
class ProgramIcon {
public:
    static QIcon make();
};

} // namespace palvuro
