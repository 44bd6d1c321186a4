#include "chat/TickSchedule.h"

#include "platform/EventPump.h"

#include <algorithm>

namespace palvuro {

namespace {

// Signed distance on the wrapping 32-bit tick count: not negative once `deadline` has come.
std::int32_t sinceDeadline(std::uint32_t now, std::uint32_t deadline) {
    return static_cast<std::int32_t>(now - deadline);
}

} // namespace

class TickSchedule::Timer : public TimerSwitch {
public:
    Timer(TickSchedule& owner, std::uint32_t intervalMs, std::function<void()> handler)
        : owner_(owner), intervalMs_(std::max<std::uint32_t>(intervalMs, 1)), handler_(std::move(handler)) {}

    void setEnabled(bool on) override {
        // Enabling a running timer keeps its phase, as a running QTimer left alone would.
        if (on == on_ || (on && owner_.halted_))
            return;
        on_ = on;
        if (on_)
            dueAt_ = owner_.pump_.tickCount() + intervalMs_;
        owner_.changed();
    }
    bool isEnabled() const override { return on_; }

    bool isDue(std::uint32_t now) const { return on_ && sinceDeadline(now, dueAt_) >= 0; }
    std::uint32_t msUntilDue(std::uint32_t now) const { return isDue(now) ? 0 : dueAt_ - now; }
    // Moves the deadline on before the handler runs, so a tick nested inside the handler's
    // own send does not run this one again.
    void fire(std::uint32_t now) {
        dueAt_ += intervalMs_;
        if (sinceDeadline(now, dueAt_) >= 0)
            dueAt_ = now + intervalMs_;
        handler_();
    }

private:
    TickSchedule& owner_;
    const std::uint32_t intervalMs_;
    const std::function<void()> handler_;
    bool on_ = false;
    std::uint32_t dueAt_ = 0;
};

TickSchedule::TickSchedule(EventPump& pump) : pump_(pump) {}

TickSchedule::~TickSchedule() = default;

TimerSwitch& TickSchedule::add(std::uint32_t intervalMs, std::function<void()> handler) {
    timers_.push_back(std::make_unique<Timer>(*this, intervalMs, std::move(handler)));
    return *timers_.back();
}

void TickSchedule::runDue() {
    // By index: a handler may nest another runDue, never add or remove a timer.
    for (std::size_t i = 0; i < timers_.size() && !halted_; ++i) {
        const std::uint32_t now = pump_.tickCount();
        if (timers_[i]->isDue(now))
            timers_[i]->fire(now);
    }
}

std::uint32_t TickSchedule::msUntilNextDue() {
    const std::uint32_t now = pump_.tickCount();
    std::uint32_t next = NoneDue;
    for (const auto& timer : timers_) {
        if (timer->isEnabled())
            next = std::min(next, timer->msUntilDue(now));
    }
    return next;
}

void TickSchedule::halt() {
    for (const auto& timer : timers_)
        timer->setEnabled(false);
    halted_ = true;
}

void TickSchedule::setChangeHook(std::function<void()> hook) {
    changeHook_ = std::move(hook);
}

void TickSchedule::changed() {
    if (changeHook_)
        changeHook_();
}

} // namespace palvuro
