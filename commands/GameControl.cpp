#include "commands/GameControl.h"
#include "chat/RoomTexts.h"

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "chat/ChatLog.h"
#include "chat/RoomLine.h"
#include "chat/TimerSwitch.h"
#include "commands/CommandsLog.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "platform/EventPump.h"

namespace palvuro {

GameControl::GameControl(GameSession& session, ChatLink& link, BotClocks& clocks, const TriviaStore& store,
                         std::function<void()> askQuestion)
    : session_(session), link_(link), clocks_(clocks), store_(store), askQuestion_(std::move(askQuestion)) {}

bool GameControl::openCategory(const QString& category) {
    // The name from the chat only selects among the stored categories; it never reaches a
    // statement itself.
    std::unique_ptr<TriviaDatabase> db = store_.connect();
    std::optional<QString> stored;
    if (!category.isEmpty()) {
        if (db->open() == DbStatus::Ok)
            stored = db->findCategory(category);
        else
            warnCommandFailed("!START", db->errorText());
    }
    if (!stored) {
        link_.sendChat(RoomTexts::notStarted());
        return false;
    }
    session_.start(std::move(db), *stored);
    return true;
}

void GameControl::startTrivia(const RoomLine& line, const QString& category) {
    if (!openCategory(category))
        return;
    qCInfo(lcChat) << "game started by" << line.nick() << "in" << session_.category();
    link_.sendChat(RoomTexts::startedBy(line.nick()));
    // A stop may have run while the start line waited for its turn.
    if (!session_.isRunning())
        return;
    startLineTick_ = clocks_.pump().tickCount();
    firstQuestionPending_ = true;
}

void GameControl::askFirstQuestionIfDue() {
    if (!firstQuestionPending_)
        return;
    if (!session_.isRunning()) {
        firstQuestionPending_ = false;
        return;
    }
    if (clocks_.pump().tickCount() - startLineTick_ < FirstQuestionDelayMs)
        return;
    firstQuestionPending_ = false;
    if (askQuestion_)
        askQuestion_();
}

void GameControl::closeGame() {
    firstQuestionPending_ = false;
    session_.stop();
}

void GameControl::stopTrivia() {
    if (session_.isRunning())
        qCInfo(lcChat) << "game ended";
    stopSaying(RoomTexts::triviaEnded());
}

void GameControl::stopTrivia(const RoomLine& line) {
    if (session_.isRunning())
        qCInfo(lcChat) << "game ended by" << line.nick();
    stopSaying(RoomTexts::endedBy(line.nick()));
}

void GameControl::stopSaying(const QString& endLine) {
    closeGame();
    clocks_.pause().setEnabled(false);
    link_.sendChat(endLine);
}

} // namespace palvuro
