#pragma once

namespace palvuro {

// Whether anybody can see the windows: not on Qt's offscreen or minimal platform, where they are
// drawn nowhere. There a dialog would wait for a click that never comes, and a tray icon has no
// panel to sit in.
class Offscreen {
public:
    static bool active();
};

} // namespace palvuro
