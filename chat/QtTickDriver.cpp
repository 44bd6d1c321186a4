#include "chat/QtTickDriver.h"

#include "chat/TickSchedule.h"

#include <limits>

namespace palvuro {

QtTickDriver::QtTickDriver(TickSchedule& schedule, QObject* parent) : QObject(parent), schedule_(schedule) {
    wakeUp_.setSingleShot(true);
    wakeUp_.setTimerType(Qt::PreciseTimer);
    connect(&wakeUp_, &QTimer::timeout, this, &QtTickDriver::wake);
    schedule_.setChangeHook([this] { arm(); });
    arm();
}

QtTickDriver::~QtTickDriver() {
    schedule_.setChangeHook({});
}

void QtTickDriver::wake() {
    schedule_.runDue();
    schedule_.settle();
    arm();
}

void QtTickDriver::arm() {
    const std::uint32_t ms = schedule_.msUntilNextDue();
    if (ms == TickSchedule::NoneDue)
        wakeUp_.stop();
    else
        wakeUp_.start(static_cast<int>(std::min<std::uint32_t>(ms, std::numeric_limits<int>::max())));
}

} // namespace palvuro
