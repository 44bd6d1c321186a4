#include "chat/QuestionCycle.h"
#include "chat/RoomTexts.h"

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "chat/ChatLog.h"
#include "chat/TimerSwitch.h"
#include "platform/EventPump.h"

#include <algorithm>

namespace palvuro {

QuestionCycle::QuestionCycle(GameSession& session, ChatLink& link, BotClocks& clocks, Hooks hooks,
                             HintBuilder::RandomSource random)
    : session_(session), link_(link), clocks_(clocks), timings_(clocks.timings()), hooks_(std::move(hooks)),
      random_(std::move(random)) {}

void QuestionCycle::ramdomQuestion() {
    TriviaDatabase* db = session_.connection();
    if (db == nullptr || !session_.isRunning())
        return; // the game ended while this question was due

    TriviaDatabase::Question picked;
    DbStatus status = db->pickQuestion(session_.category(), &picked);
    if (status == DbStatus::Ok && picked.answer.isEmpty())
        status = DbStatus::NoUsableQuestion;
    // A table dropped by the editor during the game has nothing to ask either.
    if (status == DbStatus::EmptyCategory || status == DbStatus::NoUsableQuestion ||
        status == DbStatus::NoSuchCategory) {
        sayForGame(RoomTexts::noQuestions());
        if (session_.isRunning() && hooks_.stopGame)
            hooks_.stopGame();
        return;
    }
    if (status != DbStatus::Ok) {
        if (hooks_.fatalError)
            hooks_.fatalError(db->errorText(), static_cast<int>(status));
        return;
    }

    session_.openQuestion(picked.question, picked.answer);
    // Counted by a host that watches the bot; the text stays out of the log.
    qCInfo(lcChat) << "question asked";
    if (hooks_.showCheat)
        hooks_.showCheat(session_.answer());
    timings_.restartAnswerClock();
    timings_.restartPause();
    clocks_.reader().setEnabled(true);
    sayForGame(session_.question());
}

void QuestionCycle::checkQuestionTime() {
    // The clock counts reader ticks, but a busy machine delivers them late; the tick count
    // tells how many 10 ms steps have really passed, and the late ones are counted too. Each
    // call still counts at least one, and a tick that comes a little early is balanced by the
    // next. A fresh or restarted clock starts from now.
    const std::uint32_t now = clocks_.pump().tickCount();
    if (timings_.answerTicks() == 0)
        carryMs_ = 0;
    else
        carryMs_ += static_cast<std::int64_t>(now - lastClockTick_);
    lastClockTick_ = now;

    const auto tick = static_cast<std::int64_t>(BotClocks::ReaderTickMs);
    const std::int64_t steps = std::clamp<std::int64_t>(carryMs_ / tick, 1, MaxCatchUpTicks);
    carryMs_ = std::max(carryMs_ - steps * tick, -tick);
    for (std::int64_t i = 0; i < steps && session_.questionOpen(); ++i)
        countTick();
}

void QuestionCycle::countTick() {
    timings_.countAnswerTick();
    const int secs = timings_.answerSecs();
    // ">=": a time lowered below the count already reached still ends the question.
    if (timings_.answerTicks() >= secs * 100) {
        timesUp();
        return;
    }
    if (timings_.answerTicks() == secs * 50)
        giveHint();
}

void QuestionCycle::timesUp() {
    session_.closeQuestion();
    timings_.restartAnswerClock();
    const int pause = timings_.pauseSecs();
    sayForGame(timings_.givesAnswer() ? RoomTexts::timesUpAnswerWas(session_.answer(), pause)
                                      : RoomTexts::timesUp(pause));
    if (session_.isRunning())
        clocks_.pause().setEnabled(true);
}

void QuestionCycle::giveHint() {
    const std::optional<QString> hint = HintBuilder::draw(session_.answer(), random_);
    if (!hint)
        return;
    // An answer scored while the hint waits for its turn closes the question: no hint after it.
    const QString answer = session_.answer();
    sayForGame(RoomTexts::hint(*hint),
               [this, answer] { return session_.questionOpen() && session_.answer() == answer; });
}

void QuestionCycle::sayForGame(const QString& text, const std::function<bool()>& alsoWanted) {
    // A stop (perhaps followed by a new start) that runs while the line waits for its turn
    // leaves the line to a game that has ended: nothing of a game may follow its end line.
    const std::uint32_t game = session_.number();
    link_.sendChat(text, [this, game, alsoWanted] {
        return session_.isRunning() && session_.number() == game && (!alsoWanted || alsoWanted());
    });
}

void QuestionCycle::startGetrandomTimer() {
    if (!session_.isRunning()) {
        clocks_.pause().setEnabled(false);
        return;
    }
    timings_.countPausedSec();
    // ">=": a pause shortened below the seconds already counted ends at the next tick.
    if (timings_.pausedSecs() >= timings_.pauseSecs()) {
        timings_.restartPause();
        clocks_.pause().setEnabled(false);
        ramdomQuestion();
    }
}

void QuestionCycle::scoreCorrectAnswer(const QString& nick) {
    session_.closeQuestion();

    qint64 score = 0;
    TriviaDatabase* db = session_.connection();
    const DbStatus status = db != nullptr ? db->scoreCorrectAnswer(nick, &score) : DbStatus::Failed;
    // The score is stored before it is announced, so an announced score is never lost. When it
    // cannot be stored the player still learns the answer was right and that the point is
    // missing, and the game goes on to its pause as usual.
    const int pause = timings_.pauseSecs();
    link_.sendChat(status == DbStatus::Ok ? RoomTexts::correctAnswer(nick, score, pause)
                                          : RoomTexts::correctNotSaved(nick, pause));

    // A stop that ran while the line waited for its turn ends the game: no pause then.
    if (session_.isRunning())
        clocks_.pause().setEnabled(true);
}

} // namespace palvuro
