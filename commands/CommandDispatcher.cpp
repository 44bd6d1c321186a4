#include "commands/CommandDispatcher.h"
#include "chat/RoomTexts.h"

#include "chat/ChatLink.h"
#include "chat/RoomLine.h"
#include "commands/GameControl.h"
#include "data/TriviaStore.h"
#include "data/UsersList.h"

#include <array>

namespace palvuro {

namespace {

using Command = CommandDispatcher::Command;

struct CommandWord {
    Command command;
    QLatin1String word;
};

// The order decides: "!QUIT" stands before "!Q", so a quit is never taken for "!Q".
constexpr std::array<CommandWord, 8> CommandWords{{
    {Command::Start, QLatin1String("!START")},
    {Command::Top, QLatin1String("!TOP")},
    {Command::Quit, QLatin1String("!QUIT")},
    {Command::Question, QLatin1String("!Q")},
    {Command::MyScore, QLatin1String("!MYSCORE")},
    {Command::Help, QLatin1String("!HELP")},
    {Command::Categories, QLatin1String("!CATEGORIES")},
    {Command::GetUserScore, QLatin1String("!GETUSERSCORE")},
}};

constexpr int StartWordLength = 6; // "!START"

} // namespace

CommandDispatcher::CommandDispatcher(const GameSession& session, ChatLink& link, GameControl& game,
                                     const TriviaStore& store)
    : session_(session), link_(link), game_(game), store_(store), scores_(link, store),
      categories_(link, store) {}

Command CommandDispatcher::chooseCommand(const QString& text) {
    for (const CommandWord& entry : CommandWords) {
        if (text.contains(entry.word))
            return entry.command;
    }
    return Command::None;
}

bool CommandDispatcher::passesLengthTest(const RoomLine& line, Command command) {
    for (const CommandWord& entry : CommandWords) {
        if (entry.command == command)
            return line.passesLengthTest(entry.word.size());
    }
    return false;
}

void CommandDispatcher::parseCommand(const RoomLine& line) {
    const Command command = chooseCommand(line.text());
    switch (command) {
    case Command::None:
        return;
    case Command::Start:
        start(line);
        return;
    case Command::GetUserScore:
        scores_.showScore(line, true);
        return;
    default:
        break;
    }
    if (!passesLengthTest(line, command))
        return;
    switch (command) {
    case Command::Top:
        scores_.showTopScores(line);
        break;
    case Command::Quit:
        quit(line);
        break;
    case Command::Question:
        if (session_.questionOpen())
            link_.sendChat(RoomTexts::privateReply(line.nick(), session_.question()));
        break;
    case Command::MyScore:
        scores_.showScore(line, false);
        break;
    case Command::Help:
        sayHelp(line);
        break;
    case Command::Categories:
        categories_.showCategories();
        break;
    default:
        break;
    }
}

void CommandDispatcher::start(const RoomLine& line) {
    if (session_.isRunning() || !authorize(line))
        return;
    // The category is the word after "!START" and one separating character, counted from
    // the line's first "!".
    QString category = line.text().mid(line.bangPos() + StartWordLength);
    const qsizetype blank = category.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        category.truncate(blank);
    game_.startTrivia(line, category);
}

void CommandDispatcher::quit(const RoomLine& line) {
    if (authorize(line))
        game_.stopTrivia(line);
}

bool CommandDispatcher::authorize(const RoomLine& line) {
    if (isAuthorizedUser(line.nick()))
        return true;
    link_.sendChat(RoomTexts::unauthorized());
    return false;
}

bool CommandDispatcher::isAuthorizedUser(const QString& nick) {
    switch (UsersList(store_.folder()).isAuthorizedUser(nick)) {
    case UsersList::Membership::Authorized:
        return true;
    case UsersList::Membership::FileUnreadable:
        link_.sendChat(RoomTexts::noAuthorizedUsers());
        return false;
    case UsersList::Membership::NotListed:
        break;
    }
    return false;
}

void CommandDispatcher::sayHelp(const RoomLine& line) {
    link_.sendChat(RoomTexts::privateReply(line.nick(), RoomTexts::help()));
}

} // namespace palvuro
