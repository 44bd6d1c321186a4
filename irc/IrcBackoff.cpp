#include "irc/IrcBackoff.h"

#include <algorithm>

namespace palvuro {

IrcBackoff::IrcBackoff(Limits limits) : limits_(limits) {
    for (Wait* wait : {&limits_.lost, &limits_.unreachable, &limits_.refused, &limits_.banned}) {
        wait->firstMs = std::max(wait->firstMs, 1);
        wait->maxMs = std::max(wait->maxMs, wait->firstMs);
    }
}

const IrcBackoff::Wait& IrcBackoff::waitFor(Cause cause) const {
    switch (cause) {
    case Cause::Unreachable:
        return limits_.unreachable;
    case Cause::Refused:
        return limits_.refused;
    case Cause::Banned:
        return limits_.banned;
    case Cause::Lost:
        break;
    }
    return limits_.lost;
}

int IrcBackoff::nextDelayMs(Cause cause) {
    const Wait& wait = waitFor(cause);
    // Doubling stops at the ceiling, long before an int could overflow.
    long long delay = wait.firstMs;
    for (int i = 0; i < failures_ && delay < wait.maxMs; ++i)
        delay *= 2;
    ++failures_;
    return static_cast<int>(std::min<long long>(delay, wait.maxMs));
}

} // namespace palvuro
