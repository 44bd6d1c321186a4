#include "commands/TriviaBot.h"

#include "chat/ChatLink.h"
#include "chat/ChatReader.h"
#include "chat/QuestionCycle.h"
#include "commands/CategoryListing.h"
#include "commands/CommandDispatcher.h"
#include "commands/GameControl.h"
#include "commands/ScoreReports.h"

namespace palvuro {

struct TriviaBot::Private {
    Private(GameTimings& timings, WindowApi& windows, EventPump& pump, TickSchedule& ticks,
            TimerSwitch& getText, TimerSwitch& startGetrandom, const QString& programFolder, Hooks hooks)
        : link(windows, pump, ticks, getText),
          cycle(session, timings, link, pump, getText, startGetrandom,
                QuestionCycle::Hooks{std::move(hooks.showCheat), std::move(hooks.fatalError),
                                     [this] { game.stopTrivia(QString()); }}),
          reader(session, windows, link),
          game(session, link, pump, startGetrandom, programFolder, [this] { cycle.ramdomQuestion(); }),
          scores(link, programFolder), categories(link, programFolder),
          dispatcher(session, link, game, scores, categories, programFolder) {
        reader.setCommandHandler(
            [this](const QString& text, int bangPos) { dispatcher.parseCommand(text, bangPos); });
        reader.setAnswerHandler([this](const QString& nick) { cycle.scoreCorrectAnswer(nick); });
    }

    GameSession session;
    ChatLink link;
    QuestionCycle cycle;
    ChatReader reader;
    GameControl game;
    ScoreReports scores;
    CategoryListing categories;
    CommandDispatcher dispatcher;
};

TriviaBot::TriviaBot(GameTimings& timings, WindowApi& windows, EventPump& pump, TickSchedule& ticks,
                     TimerSwitch& getText, TimerSwitch& startGetrandom, const QString& programFolder,
                     Hooks hooks)
    : d(std::make_unique<Private>(timings, windows, pump, ticks, getText, startGetrandom, programFolder,
                                  std::move(hooks))) {}

TriviaBot::~TriviaBot() = default;

ChatLink& TriviaBot::link() {
    return d->link;
}

const GameSession& TriviaBot::session() const {
    return d->session;
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

void TriviaBot::stopTrivia(const QString& line) {
    d->game.stopTrivia(line);
}

void TriviaBot::closeGame() {
    d->game.closeGame();
}

} // namespace palvuro
