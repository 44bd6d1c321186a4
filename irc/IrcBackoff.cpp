#include "irc/IrcBackoff.h"

#include <algorithm>

namespace palvuro {

IrcBackoff::IrcBackoff(Limits limits) : limits_(limits) {
    limits_.firstMs = std::max(limits_.firstMs, 1);
    limits_.maxMs = std::max(limits_.maxMs, limits_.firstMs);
}

int IrcBackoff::nextDelayMs(bool refused) {
    // Doubling stops at the ceiling, long before an int could overflow.
    long long delay = limits_.firstMs;
    for (int i = 0; i < failures_ && delay < limits_.maxMs; ++i)
        delay *= 2;
    ++failures_;
    const long long ceiling = refused ? std::min(limits_.maxMs, limits_.refusedMaxMs) : limits_.maxMs;
    return static_cast<int>(std::min(delay, ceiling));
}

} // namespace palvuro
