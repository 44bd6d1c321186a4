#pragma once

#include <cstdint>

namespace palvuro {

// The operator's timings and the two clocks that count against them. The stored seconds are kept
// as the boxes gave them; the clocks read them through answerSecs() and pauseSecs().
class GameTimings {
public:
    std::int16_t storedAnswerSecs() const { return giveAnswerSecs_; }
    void setAnswerSecs(std::int16_t secs) { giveAnswerSecs_ = secs; }
    std::int16_t storedNextQuestionSecs() const { return nextQuestionSecs_; }
    void setNextQuestionSecs(std::int16_t secs) { nextQuestionSecs_ = secs; }
    // "Give Answer" ticked: time's up reveals the answer.
    bool givesAnswer() const { return giveAnswer_; }
    void setGiveAnswer(bool give) { giveAnswer_ = give; }

    // The seconds the clocks actually use: a stored value outside what the boxes offer can
    // neither stop a clock for good nor overflow the tick count.
    int answerSecs() const;
    int pauseSecs() const;

    std::int16_t answerTicks() const { return answerTicks_; }
    void countAnswerTick();
    void restartAnswerClock() { answerTicks_ = 0; }
    std::int16_t pausedSecs() const { return pausedSecs_; }
    void countPausedSec();
    void restartPause() { pausedSecs_ = 0; }

    static constexpr int MaxAnswerSecs = 327; // x 100 ticks still fits 16 bits

private:
    std::int16_t giveAnswerSecs_ = 0;
    std::int16_t nextQuestionSecs_ = 0;
    bool giveAnswer_ = false;
    std::int16_t answerTicks_ = 0;
    std::int16_t pausedSecs_ = 0;
};

} // namespace palvuro
