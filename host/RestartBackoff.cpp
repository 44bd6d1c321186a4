#include "host/RestartBackoff.h"

#include <algorithm>

namespace palvuro {

int RestartBackoff::failed(qint64 nowMs) {
    if (nowMs - startedAt_ >= HealthyMs)
        next_ = FirstMs;
    // Only a new run that stays up may earn the short wait again.
    startedAt_ = nowMs;
    const int wait = next_;
    next_ = std::min(next_ * 2, LastMs);
    return wait;
}

} // namespace palvuro
