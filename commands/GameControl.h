#pragma once

#include "chat/GameSession.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace palvuro {

class BotClocks;
class ChatLink;
class RoomLine;
class TriviaStore;

// Starting and stopping a game. The first question follows the start line after 2000 ms; the
// program goes on reading the room meanwhile, and a stop in that time cancels the question.
class GameControl {
public:
    GameControl(GameSession& session, ChatLink& link, BotClocks& clocks, const TriviaStore& store,
                std::function<void()> askQuestion);

    void startTrivia(const RoomLine& line, const QString& category);
    bool openCategory(const QString& category);
    // Ends with "[Trivia Ended]".
    void stopTrivia();
    // Ends naming the line's sender.
    void stopTrivia(const RoomLine& line);
    // The program's end: the game's database objects are closed, nothing is said.
    void closeGame();

    // Asks the first question once its 2000 ms have passed; called by every reader tick.
    void askFirstQuestionIfDue();
    bool firstQuestionPending() const { return firstQuestionPending_; }

    static constexpr std::uint32_t FirstQuestionDelayMs = 2000;

private:
    void stopSaying(const QString& endLine);

    GameSession& session_;
    ChatLink& link_;
    BotClocks& clocks_;
    const TriviaStore& store_;
    std::function<void()> askQuestion_;
    bool firstQuestionPending_ = false;
    std::uint32_t startLineTick_ = 0;
};

} // namespace palvuro
