#pragma once

#include <QString>

namespace palvuro {

// The per-user folder of the desktop bus: $XDG_RUNTIME_DIR/palvuro-desktop, or
// <temp>/palvuro-desktop-<uid> when XDG_RUNTIME_DIR is unset. Created mode 0700; a folder
// owned by another user, or open to others, is refused.
class DesktopBusFolder {
public:
    // The folder's path, created when missing; empty (with *error set) when it is unsafe or
    // cannot be made.
    static QString ensure(QString* error = nullptr);
};

} // namespace palvuro
