#include "irc/IrcClock.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace palvuro {

IrcClock::~IrcClock() {
    for (IrcTimer* timer : std::as_const(armed_))
        timer->clock_ = nullptr;
}

qint64 IrcClock::now(const IrcClock* clock) {
    if (clock)
        return clock->now_;
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

void IrcClock::advance(qint64 ms) {
    const qint64 until = now_ + std::max<qint64>(ms, 0);
    for (;;) {
        // A timer that fires may start or stop others: look again each time.
        const auto next =
            std::min_element(armed_.cbegin(), armed_.cend(),
                             [](const IrcTimer* a, const IrcTimer* b) { return a->dueMs_ < b->dueMs_; });
        if (next == armed_.cend() || (*next)->dueMs_ > until)
            break;
        IrcTimer* due = *next;
        now_ = std::max(now_, due->dueMs_);
        disarm(due);
        Q_EMIT due->timeout();
    }
    now_ = until;
}

void IrcClock::arm(IrcTimer* timer) {
    if (!armed_.contains(timer))
        armed_.append(timer);
}

void IrcClock::disarm(IrcTimer* timer) {
    armed_.removeOne(timer);
    timer->dueMs_ = -1;
}

IrcTimer::IrcTimer(IrcClock* clock, QObject* parent) : QObject(parent), clock_(clock) {
    real_.setSingleShot(true);
    connect(&real_, &QTimer::timeout, this, &IrcTimer::timeout);
}

IrcTimer::~IrcTimer() {
    stop();
}

void IrcTimer::start(qint64 ms) {
    ms = std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max());
    if (!clock_) {
        real_.start(static_cast<int>(ms));
        return;
    }
    dueMs_ = clock_->nowMs() + ms;
    clock_->arm(this);
}

void IrcTimer::stop() {
    real_.stop();
    if (clock_)
        clock_->disarm(this);
}

bool IrcTimer::isActive() const {
    return clock_ ? dueMs_ >= 0 : real_.isActive();
}

qint64 IrcTimer::remainingMs() const {
    if (!clock_)
        return real_.isActive() ? real_.remainingTime() : -1;
    return dueMs_ < 0 ? -1 : std::max<qint64>(dueMs_ - clock_->nowMs(), 0);
}

} // namespace palvuro
