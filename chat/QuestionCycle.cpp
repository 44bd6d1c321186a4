#include "chat/QuestionCycle.h"
#include "chat/RoomTexts.h"

#include "chat/ChatLink.h"
#include "chat/TimerSwitch.h"
#include "platform/EventPump.h"

#include <algorithm>
#include <limits>

namespace palvuro {

QuestionCycle::QuestionCycle(EngineState& state, ChatLink& link, EventPump& pump, TimerSwitch& getText,
                             TimerSwitch& startGetrandom, Hooks hooks, HintBuilder::RandomSource random)
    : state_(state), link_(link), pump_(pump), getText_(getText), startGetrandom_(startGetrandom),
      hooks_(std::move(hooks)), random_(std::move(random)) {}

int QuestionCycle::answerSecs(const EngineState& state) {
    return std::clamp<int>(state.giveAnswerSecs, 1, MaxAnswerSecs);
}

int QuestionCycle::pauseSecs(const EngineState& state) {
    return std::max<int>(state.nextQuestionSecs, 1);
}

QString QuestionCycle::nextQuestionNotice(const EngineState& state) {
    return RoomTexts::nextQuestionNotice(pauseSecs(state));
}

void QuestionCycle::ramdomQuestion() {
    TriviaDatabase* db = state_.triviaConnection.get();
    if (db == nullptr || !state_.gameRunning)
        return; // the game ended while this question was due

    TriviaDatabase::Question picked;
    DbStatus status = db->pickQuestion(state_.gameCategory, &picked);
    if (status == DbStatus::Ok && picked.answer.isEmpty())
        status = DbStatus::NoUsableQuestion;
    // A table dropped by the editor during the game has nothing to ask either.
    if (status == DbStatus::EmptyCategory || status == DbStatus::NoUsableQuestion ||
        status == DbStatus::NoSuchCategory) {
        sayForGame(RoomTexts::noQuestions());
        if (state_.gameRunning && hooks_.stopGame)
            hooks_.stopGame();
        return;
    }
    if (status != DbStatus::Ok) {
        if (hooks_.fatalError)
            hooks_.fatalError(db->errorText(), static_cast<int>(status));
        return;
    }

    state_.currentQuestion = picked.question;
    state_.currentAnswer = picked.answer;
    if (hooks_.showCheat)
        hooks_.showCheat(state_.currentAnswer);
    state_.answerTicks = 0;
    state_.pauseSecs = 0;
    state_.questionActive = true;
    getText_.setEnabled(true);
    sayForGame(state_.currentQuestion);
}

void QuestionCycle::checkQuestionTime() {
    // The clock counts reader ticks, but a busy machine delivers them late; the tick count
    // tells how many 10 ms steps have really passed, and the late ones are counted too. Each
    // call still counts at least one, and a tick that comes a little early is balanced by the
    // next. A fresh or restarted clock starts from now.
    const std::uint32_t now = pump_.tickCount();
    if (state_.answerTicks == 0)
        carryMs_ = 0;
    else
        carryMs_ += static_cast<std::int64_t>(now - lastClockTick_);
    lastClockTick_ = now;

    const auto tick = static_cast<std::int64_t>(TickMs);
    const std::int64_t steps = std::clamp<std::int64_t>(carryMs_ / tick, 1, MaxCatchUpTicks);
    carryMs_ = std::max(carryMs_ - steps * tick, -tick);
    for (std::int64_t i = 0; i < steps && state_.questionActive; ++i)
        countTick();
}

void QuestionCycle::countTick() {
    if (state_.answerTicks < std::numeric_limits<std::int16_t>::max())
        ++state_.answerTicks;
    const int secs = answerSecs(state_);
    // ">=": a time lowered below the count already reached still ends the question.
    if (state_.answerTicks >= secs * 100) {
        timesUp();
        return;
    }
    if (state_.answerTicks == secs * 50)
        giveHint();
}

void QuestionCycle::timesUp() {
    state_.questionActive = false;
    state_.answerTicks = 0;
    const QString verdict = state_.giveAnswer ? RoomTexts::timesUpAnswerWas() + state_.currentAnswer
                                              : RoomTexts::timesUpNotAnswered();
    sayForGame(verdict + nextQuestionNotice(state_));
    if (state_.gameRunning)
        startGetrandom_.setEnabled(true);
}

void QuestionCycle::giveHint() {
    const std::optional<QString> hint = HintBuilder::draw(state_.currentAnswer, random_);
    if (!hint)
        return;
    // An answer scored while the hint waits for its turn closes the question: no hint after it.
    const QString answer = state_.currentAnswer;
    sayForGame(RoomTexts::hintPrefix() + *hint,
               [this, answer] { return state_.questionActive && state_.currentAnswer == answer; });
}

void QuestionCycle::sayForGame(const QString& text, const std::function<bool()>& alsoWanted) {
    // A stop (perhaps followed by a new start) that runs while the line waits for its turn
    // leaves the line to a game that has ended: nothing of a game may follow its end line.
    const std::uint32_t game = state_.gameNumber;
    link_.sendChat(text, [this, game, alsoWanted] {
        return state_.gameRunning && state_.gameNumber == game && (!alsoWanted || alsoWanted());
    });
}

void QuestionCycle::startGetrandomTimer() {
    if (!state_.gameRunning) {
        startGetrandom_.setEnabled(false);
        return;
    }
    if (state_.pauseSecs < std::numeric_limits<std::int16_t>::max())
        ++state_.pauseSecs;
    // ">=": a pause shortened below the seconds already counted ends at the next tick.
    if (state_.pauseSecs >= pauseSecs(state_)) {
        state_.pauseSecs = 0;
        startGetrandom_.setEnabled(false);
        ramdomQuestion();
    }
}

} // namespace palvuro
