#pragma once

#include <cstdint>

namespace palvuro {

// The 32-bit millisecond tick count and the event pump, behind one interface so that tests
// can drive time by hand.
class EventPump {
public:
    virtual ~EventPump() = default;
    // GetTickCount: milliseconds, wrapping at 2^32. Compare with unsigned `now - then`.
    virtual std::uint32_t tickCount() = 0;
    // DoEvents: runs the events already queued, then returns.
    virtual void processEvents() = 0;
    // Sleeps until an event arrives or maxMs have passed, runs what arrived, then returns.
    // Never busy-waits.
    virtual void waitForEvents(std::uint32_t maxMs) = 0;
};

} // namespace palvuro
