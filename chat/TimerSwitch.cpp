#include "chat/TimerSwitch.h"

#include <QTimer>

namespace palvuro {

void QtTimerSwitch::setEnabled(bool on) {
    if (on && !timer_.isActive())
        timer_.start();
    else if (!on)
        timer_.stop();
}

bool QtTimerSwitch::isEnabled() const {
    return timer_.isActive();
}

} // namespace palvuro
