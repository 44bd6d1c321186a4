#include "tests/support/ManualEventPump.h"

#include <QCoreApplication>

namespace palvuro {

void ManualEventPump::processEvents() {
    QCoreApplication::processEvents();
}

void ManualEventPump::waitForEvents(std::uint32_t maxMs) {
    tick_ += maxMs;
    waitedMs_ += maxMs;
    processEvents();
}

} // namespace palvuro
