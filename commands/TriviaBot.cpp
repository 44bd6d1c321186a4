#include "commands/TriviaBot.h"

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "chat/ChatReader.h"
#include "chat/QuestionCycle.h"
#include "commands/CommandDispatcher.h"
#include "commands/GameControl.h"

namespace palvuro {

struct TriviaBot::Private {
    Private(TriviaBot& bot, WindowApi& windows, EventPump& pump, TriviaStore chosenStore, Hooks hooks)
        : store(std::move(chosenStore)),
          clocks(
              pump, [&bot] { bot.getTextTimer(); }, [&bot] { bot.startGetrandomTimer(); }),
          link(windows, clocks),
          cycle(session, link, clocks,
                QuestionCycle::Hooks{std::move(hooks.showCheat), std::move(hooks.fatalError),
                                     [this] { game.stopTrivia(); }}),
          reader(session, windows, link),
          game(session, link, clocks, store, [this] { cycle.ramdomQuestion(); }),
          dispatcher(session, link, game, store) {
        reader.setCommandHandler([this](const RoomLine& line) { dispatcher.parseCommand(line); });
        reader.setAnswerHandler([this](const QString& nick) { cycle.scoreCorrectAnswer(nick); });
        // An idle room need not wake the bot a hundred times a second: with no question to time
        // and no first question to ask, a reader tick that finds nothing new does nothing.
        clocks.schedule().setQuietCheck(clocks.reader(), [this](std::function<void()> wake) {
            return !session.questionOpen() && !game.firstQuestionPending() &&
                   reader.waitsForChange(std::move(wake));
        });
    }

    TriviaStore store;
    BotClocks clocks;
    GameSession session;
    ChatLink link;
    QuestionCycle cycle;
    ChatReader reader;
    GameControl game;
    CommandDispatcher dispatcher;
};

TriviaBot::TriviaBot(WindowApi& windows, EventPump& pump, TriviaStore store, Hooks hooks)
    : d(std::make_unique<Private>(*this, windows, pump, std::move(store), std::move(hooks))) {}

TriviaBot::~TriviaBot() = default;

ChatLink& TriviaBot::link() {
    return d->link;
}

const GameSession& TriviaBot::session() const {
    return d->session;
}

BotClocks& TriviaBot::clocks() {
    return d->clocks;
}

GameTimings& TriviaBot::timings() {
    return d->clocks.timings();
}

void TriviaBot::getTextTimer() {
    if (d->session.questionOpen())
        d->cycle.checkQuestionTime();
    d->game.askFirstQuestionIfDue();
    d->reader.readNewText();
}

void TriviaBot::startGetrandomTimer() {
    d->cycle.startGetrandomTimer();
}

void TriviaBot::ramdomQuestion() {
    d->cycle.ramdomQuestion();
}

void TriviaBot::stopTrivia() {
    d->game.stopTrivia();
}

void TriviaBot::closeGame() {
    d->game.closeGame();
}

} // namespace palvuro
