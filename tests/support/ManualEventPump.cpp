#include "tests/support/ManualEventPump.h"

#include <QCoreApplication>

#include <utility>

namespace palvuro {

void ManualEventPump::processEvents() {
    QCoreApplication::processEvents();
}

void ManualEventPump::waitForEvents(std::uint32_t maxMs) {
    if (onNextWait) {
        const std::function<void()> run = std::exchange(onNextWait, nullptr);
        run(); // early in the wait, before the clock moves on
    }
    tick_ += maxMs;
    waitedMs_ += maxMs;
    processEvents();
}

} // namespace palvuro
