#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

namespace palvuro {

class IrcTimer;

// The time the session's rules run on: real time unless a session is handed one of these,
// which moves only when told to, so minutes of pings, retries and waits pass in an instant.
class IrcClock {
public:
    IrcClock() = default;
    IrcClock(const IrcClock&) = delete;
    IrcClock& operator=(const IrcClock&) = delete;
    ~IrcClock();

    // Milliseconds on CLOCK, or on the monotonic system clock when CLOCK is null.
    static qint64 now(const IrcClock* clock);

    qint64 nowMs() const { return now_; }
    // Moves the time MS forward, firing each timer that falls due at its own time, in order.
    void advance(qint64 ms);

private:
    friend class IrcTimer;
    void arm(IrcTimer* timer);
    void disarm(IrcTimer* timer);

    qint64 now_ = 0;
    QList<IrcTimer*> armed_;
};

// A single-shot timer on an IrcClock, or on real time when the clock is null.
class IrcTimer : public QObject {
    Q_OBJECT
public:
    explicit IrcTimer(IrcClock* clock, QObject* parent = nullptr);
    ~IrcTimer() override;

    void start(qint64 ms);
    void stop();
    bool isActive() const;
    // Milliseconds until it fires; -1 when it is not running.
    qint64 remainingMs() const;

Q_SIGNALS:
    void timeout();

private:
    friend class IrcClock;
    IrcClock* clock_;
    QTimer real_;
    qint64 dueMs_ = -1; // on clock_
};

} // namespace palvuro
