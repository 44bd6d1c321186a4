#pragma once

#include "chat/GameSession.h"
#include "commands/CategoryListing.h"
#include "commands/ScoreReports.h"

#include <QString>

namespace palvuro {

class ChatLink;
class GameControl;
class RoomLine;
class TriviaStore;

// Decides which "!" command an upper-cased chat line holds, checks who may use it and answers
// it or hands it on.
class CommandDispatcher {
public:
    CommandDispatcher(const GameSession& session, ChatLink& link, GameControl& game,
                      const TriviaStore& store);

    void parseCommand(const RoomLine& line);
    // Reads "Users List.txt" afresh; an unreadable file is announced in the room and
    // authorizes nobody.
    bool isAuthorizedUser(const QString& nick);

    enum class Command { Start, Top, Quit, Question, MyScore, Help, Categories, GetUserScore, None };
    // The first command word of the fixed order that occurs anywhere in the line.
    static Command chooseCommand(const QString& text);
    // Nothing but the word and the closing blank follows the separator.
    static bool passesLengthTest(const RoomLine& line, Command command);

private:
    void start(const RoomLine& line);
    void quit(const RoomLine& line);
    bool authorize(const RoomLine& line);
    void sayHelp(const RoomLine& line);

    const GameSession& session_;
    ChatLink& link_;
    GameControl& game_;
    const TriviaStore& store_;
    ScoreReports scores_;
    CategoryListing categories_;
};

} // namespace palvuro
