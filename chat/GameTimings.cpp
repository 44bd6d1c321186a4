#include "chat/GameTimings.h"

#include <algorithm>
#include <limits>

namespace palvuro {

int GameTimings::answerSecs() const {
    return std::clamp<int>(giveAnswerSecs_, 1, MaxAnswerSecs);
}

int GameTimings::pauseSecs() const {
    return std::max<int>(nextQuestionSecs_, 1);
}

void GameTimings::countAnswerTick() {
    if (answerTicks_ < std::numeric_limits<std::int16_t>::max())
        ++answerTicks_;
}

void GameTimings::countPausedSec() {
    if (pausedSecs_ < std::numeric_limits<std::int16_t>::max())
        ++pausedSecs_;
}

} // namespace palvuro
