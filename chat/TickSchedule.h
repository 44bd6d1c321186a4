#pragma once

#include "chat/TimerSwitch.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace palvuro {

class EventPump;

// The engine's timers (the 10 ms reader tick and the one-second pause clock) as deadlines on
// the tick count. Whoever is waiting runs the due ones: the event loop through QtTickDriver,
// and the chat link while a send waits out its spacing.
class TickSchedule {
public:
    static constexpr std::uint32_t NoneDue = 0xFFFFFFFFu;

    explicit TickSchedule(EventPump& pump);
    ~TickSchedule();
    TickSchedule(const TickSchedule&) = delete;
    TickSchedule& operator=(const TickSchedule&) = delete;

    // A timer that calls `handler` every `intervalMs` while enabled; it starts disabled and
    // lives as long as the schedule.
    TimerSwitch& add(std::uint32_t intervalMs, std::function<void()> handler);
    // Runs each enabled timer whose time has come, once; late ticks are not made up.
    void runDue();
    // Milliseconds until the next enabled timer is due, 0 when one is due now, NoneDue when
    // every timer is off.
    std::uint32_t msUntilNextDue();
    // The program ends: every timer stops and none starts again.
    void halt();
    // Called whenever a timer is switched on or off, so a driver can rearm its wake-up.
    void setChangeHook(std::function<void()> hook);

    // Tells whether TIMER's next tick would change nothing; if so, it calls the wake it is given
    // once that may no longer hold.
    using QuietCheck = std::function<bool(std::function<void()> wake)>;
    void setQuietCheck(TimerSwitch& timer, QuietCheck quiet);
    // A driver that would only wake for ticks that change nothing lets such timers sleep until
    // their wake, and then keeps their phase. Any timer that runs wakes them all, as may a send
    // waiting: ticks that could matter are never skipped, whoever changed what they would do.
    void settle();

private:
    class Timer;

    void changed();

    EventPump& pump_;
    std::vector<std::unique_ptr<Timer>> timers_;
    std::function<void()> changeHook_;
    bool halted_ = false;
};

} // namespace palvuro
