#include "irc/IrcJoinPolicy.h"

#include "irc/IrcNumeric.h"

#include <algorithm>

namespace palvuro {

IrcJoinPolicy::IrcJoinPolicy(Limits limits) : limits_(limits) {}

IrcJoinPolicy::Refusal IrcJoinPolicy::classify(int numeric) {
    switch (numeric) {
    case Numeric::ErrChannelIsFull:
    case Numeric::ErrUnavailResource:
    case Numeric::ErrThrottled:
        return Refusal::Temporary;
    default:
        return Refusal::Lasting;
    }
}

int IrcJoinPolicy::refused(int numeric) {
    if (classify(numeric) == Refusal::Lasting) {
        lasting_ = true;
        return limits_.lastingWaitMs;
    }
    const int doublings = std::min(temporaryRefusals_++, 30);
    const qint64 wait = qint64(limits_.firstRetryMs) << doublings;
    return static_cast<int>(std::min<qint64>(wait, limits_.maxRetryMs));
}

int IrcJoinPolicy::kicked(qint64 nowMs) {
    kicks_.removeIf([&](qint64 at) { return nowMs - at >= limits_.kickWindowMs; });
    kicks_.append(nowMs);
    return kicks_.size() >= limits_.kicksBeforePause ? limits_.kickPauseMs : limits_.kickRejoinMs;
}

void IrcJoinPolicy::entered() {
    temporaryRefusals_ = 0;
    lasting_ = false;
}

} // namespace palvuro
