#pragma once

#include "platform/BusWindowApi.h"

#include <QStringList>

namespace palvuro {

// A "Palvuro 2.0" room as the bot reads it: its text window over the desktop bus, each line
// read once as it comes.
class RoomWindow {
public:
    // False while no such window is on the bus.
    bool find();
    // The lines shown since the last call.
    QStringList newLines();

private:
    QString line(LResult index);

    BusWindowApi api_;
    Hwnd text_ = 0;
    LResult next_ = 0;
};

} // namespace palvuro
