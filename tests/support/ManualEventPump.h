#pragma once

#include "platform/EventPump.h"

#include <QCoreApplication>

#include <cstdint>
#include <functional>
#include <utility>

namespace palvuro {

// An event pump whose clock the test sets. A wait moves the clock on by the time asked for at
// once and runs the queued Qt events, so a wait of any length costs no real time.
class ManualEventPump : public EventPump {
public:
    explicit ManualEventPump(std::uint32_t startTick = 1000) : tick_(startTick) {}

    std::uint32_t tickCount() override { return tick_; }
    void processEvents() override { QCoreApplication::processEvents(); }
    void waitForEvents(std::uint32_t maxMs) override {
        if (onNextWait) // early in the wait, before the clock moves on
            std::exchange(onNextWait, nullptr)();
        tick_ += maxMs;
        processEvents();
    }

    void advance(std::uint32_t ms) { tick_ += ms; }

    // Runs once, inside the next wait: something that happens meanwhile, such as a chatter's
    // line. The wait's own ticks then read it, as the program's do.
    std::function<void()> onNextWait;

private:
    std::uint32_t tick_;
};

} // namespace palvuro
