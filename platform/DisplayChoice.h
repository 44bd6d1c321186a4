#pragma once

namespace palvuro {

// Where a program's windows go. With no display server to show them (no DISPLAY and no
// WAYLAND_DISPLAY: a server, a service, an ssh session) Qt would end the program before it could
// even print its usage; there the programs draw on Qt's offscreen platform instead, which needs no
// X, no Wayland and no D-Bus.
class DisplayChoice {
public:
    // Before the QApplication is made. True when offscreen was chosen; a platform the user named
    // (QT_QPA_PLATFORM) is left alone.
    static bool offscreenWithoutDisplay();
};

} // namespace palvuro
