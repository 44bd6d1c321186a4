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
        if (on == on_ || (on && owner_.halted_)) {
            if (on && sleeping_)
                wakeAndTell();
            return;
        }
        on_ = on;
        sleeping_ = false;
        if (on_)
            dueAt_ = owner_.pump_.tickCount() + intervalMs_;
        owner_.changed();
    }
    bool isEnabled() const override { return on_; }

    bool isDue(std::uint32_t now) const { return on_ && sinceDeadline(now, dueAt_) >= 0; }
    bool isSleeping() const { return sleeping_; }
    void setQuietCheck(QuietCheck quiet) { quiet_ = std::move(quiet); }

    // Asleep until its wake when its ticks would change nothing.
    void settle() {
        if (!on_ || sleeping_ || !quiet_)
            return;
        std::weak_ptr<bool> alive = alive_;
        sleeping_ = quiet_([this, alive] {
            if (alive.lock())
                wakeAndTell();
        });
    }
    // The ticks slept through are gone; the next one comes on the phase they would have kept.
    void wake(std::uint32_t now) {
        if (!sleeping_)
            return;
        sleeping_ = false;
        const std::int32_t late = sinceDeadline(now, dueAt_);
        if (late > 0)
            dueAt_ += (std::uint32_t(late) + intervalMs_ - 1) / intervalMs_ * intervalMs_;
    }
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
    void wakeAndTell() {
        if (!sleeping_)
            return;
        wake(owner_.pump_.tickCount());
        owner_.changed();
    }

    TickSchedule& owner_;
    const std::uint32_t intervalMs_;
    const std::function<void()> handler_;
    QuietCheck quiet_;
    // A wake that comes after the timer is gone finds this gone too.
    const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool on_ = false;
    bool sleeping_ = false;
    std::uint32_t dueAt_ = 0;
};

TickSchedule::TickSchedule(EventPump& pump) : pump_(pump) {}

TickSchedule::~TickSchedule() = default;

TimerSwitch& TickSchedule::add(std::uint32_t intervalMs, std::function<void()> handler) {
    timers_.push_back(std::make_unique<Timer>(*this, intervalMs, std::move(handler)));
    return *timers_.back();
}

void TickSchedule::runDue() {
    const std::uint32_t started = pump_.tickCount();
    for (const auto& timer : timers_)
        timer->wake(started);
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
        if (timer->isEnabled() && !timer->isSleeping())
            next = std::min(next, timer->msUntilDue(now));
    }
    return next;
}

void TickSchedule::setQuietCheck(TimerSwitch& timer, QuietCheck quiet) {
    for (const auto& own : timers_) {
        if (own.get() == &timer)
            own->setQuietCheck(std::move(quiet));
    }
}

void TickSchedule::settle() {
    if (halted_)
        return;
    for (const auto& timer : timers_)
        timer->settle();
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
