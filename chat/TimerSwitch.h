#pragma once

namespace palvuro {

// One of the main window's two timers as the engine sees it: on or off. The window's timers
// live in a TickSchedule; tests may use a plain flag and call the tick handlers themselves.
class TimerSwitch {
public:
    virtual ~TimerSwitch() = default;
    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
};

class FlagTimerSwitch : public TimerSwitch {
public:
    void setEnabled(bool on) override { on_ = on; }
    bool isEnabled() const override { return on_; }

private:
    bool on_ = false;
};

} // namespace palvuro
