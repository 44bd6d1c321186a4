#pragma once

#include "a11y/AccessibleNode.h"

#include <QString>

namespace palvuro {

// The program's connection to the accessibility bus. Its messages arrive through GLib's main
// context, which Qt's own event loop runs on Linux; where Qt was built or started without GLib
// (QT_NO_GLIB=1), a timer lets GLib look at its sources instead, at a cost of some wake-ups.
class AccessibilityBus {
public:
    // Connects once; false, with why, when there is no bus to connect to.
    static bool connect(QString* why);
    // Whether Qt's event loop already runs GLib's sources (after connect()).
    static bool sharesQtLoop();
    // Hands on the bus's messages that arrived while a call waited for its answer. A waiting
    // call reads whatever comes meanwhile, events included, but leaves it queued until the
    // next message wakes the loop, which in a quiet room can be seconds later.
    // OF names a program whose own connection (calls to it go straight to it) is looked at too.
    static void dispatchPending(const AccessibleNode& of = {});
    // A key press and release as the keyboard would send it, to whatever has the focus.
    static bool pressReturn();
    // How long a call to another program may take before it counts as failed.
    static constexpr int CallTimeoutMs = 3000;
};

} // namespace palvuro
