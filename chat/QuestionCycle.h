#pragma once

#include "chat/GameSession.h"
#include "chat/HintBuilder.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace palvuro {

class BotClocks;
class ChatLink;
class GameTimings;

// The question cycle: pick and ask a question, the hint at half time, "Times Up!", and the
// pause before the next question. Two clocks: the question clock advanced by every reader tick
// and the pause clock advanced by the one-second timer.
class QuestionCycle {
public:
    struct Hooks {
        std::function<void(const QString&)> showCheat; // the operator's cheat box
        // A pick failed for a reason other than an empty category: the program ends.
        std::function<void(const QString& description, int number)> fatalError;
        // The category has nothing to ask: stop the game ("[Trivia Ended]").
        std::function<void()> stopGame;
    };

    QuestionCycle(GameSession& session, ChatLink& link, BotClocks& clocks, Hooks hooks,
                  HintBuilder::RandomSource random = HintBuilder::systemRandom());

    void ramdomQuestion();
    // Once per reader tick while a question is open.
    void checkQuestionTime();
    // Once per second while the pause runs.
    void startGetrandomTimer();

    // A chatter said the open question's answer: the score and the "Is Correct" line.
    void scoreCorrectAnswer(const QString& nick);

    static constexpr std::uint32_t MaxCatchUpTicks = 100;

private:
    void countTick();
    void timesUp();
    void giveHint();
    void sayForGame(const QString& text, const std::function<bool()>& alsoWanted = {});

    GameSession& session_;
    ChatLink& link_;
    BotClocks& clocks_;
    GameTimings& timings_;
    Hooks hooks_;
    HintBuilder::RandomSource random_;
    std::uint32_t lastClockTick_ = 0;
    std::int64_t carryMs_ = 0;
};

} // namespace palvuro
