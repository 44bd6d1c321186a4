#include "platform/QtEventPump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace palvuro {

std::uint32_t QtEventPump::tickCount() {
    // The monotonic clock's milliseconds, truncated like the 32-bit system tick count.
    return static_cast<std::uint32_t>(QDeadlineTimer::current(Qt::PreciseTimer).deadline());
}

void QtEventPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitForEvents(std::uint32_t maxMs) {
    // A single-shot timer bounds the sleep; WaitForMoreEvents blocks in the OS until any event
    // (the timer included) arrives, so the wait costs no CPU.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(std::min<std::uint32_t>(maxMs, 0x7fffffff)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace palvuro
