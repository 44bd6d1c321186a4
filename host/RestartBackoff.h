#pragma once

#include <QtGlobal>

namespace palvuro {

// How long a supervised child waits before it is started again: 1 s after its first failure,
// doubling with each failure up to a minute, and back to 1 s once a run stayed healthy for ten
// minutes. Times are milliseconds on any steady clock the caller keeps.
class RestartBackoff {
public:
    static constexpr int FirstMs = 1000;
    static constexpr int LastMs = 60000;
    static constexpr qint64 HealthyMs = 10 * 60 * 1000;

    void started(qint64 nowMs) { startedAt_ = nowMs; }
    // The wait before the next start, for a child that failed at NOWMS.
    int failed(qint64 nowMs);

private:
    qint64 startedAt_ = 0;
    int next_ = FirstMs;
};

} // namespace palvuro
