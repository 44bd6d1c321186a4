#pragma once

#include "chat/GameTimings.h"
#include "chat/TickSchedule.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace palvuro {

class EventPump;
class QtTickDriver;
class TimerSwitch;

// The engine's clocks: the 10 ms reader tick and the one-second pause clock on one tick schedule,
// and the operator's timings they count against. Whoever drives the program's time either lets
// the Qt event loop run the due ticks or runs them by hand; a send's wait runs them either way.
class BotClocks {
public:
    BotClocks(EventPump& pump, std::function<void()> onReaderTick, std::function<void()> onPauseTick);
    ~BotClocks();
    BotClocks(const BotClocks&) = delete;
    BotClocks& operator=(const BotClocks&) = delete;

    EventPump& pump() { return pump_; }
    TickSchedule& schedule() { return schedule_; }
    GameTimings& timings() { return timings_; }
    // GetText: reads the room while connected.
    TimerSwitch& reader() { return reader_; }
    // StartGetrandom: counts the pause between questions.
    TimerSwitch& pause() { return pause_; }

    // The due ticks run from the Qt event loop from now on.
    void driveFromEventLoop();
    // Runs the ticks that are due now, for a driver that moves time by hand.
    void runDue() { schedule_.runDue(); }
    // The program ends: no tick runs again.
    void halt() { schedule_.halt(); }

    static constexpr std::uint32_t ReaderTickMs = 10;
    static constexpr std::uint32_t PauseTickMs = 1000;

private:
    EventPump& pump_;
    GameTimings timings_;
    TickSchedule schedule_;
    TimerSwitch& reader_;
    TimerSwitch& pause_;
    std::unique_ptr<QtTickDriver> driver_;
};

} // namespace palvuro
