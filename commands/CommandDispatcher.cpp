#include "commands/CommandDispatcher.h"
#include "chat/RoomTexts.h"

#include "chat/ChatLink.h"
#include "commands/GameControl.h"
#include "commands/PrivateReply.h"
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
                                     const QString& programFolder)
    : session_(session), link_(link), game_(game), programFolder_(programFolder), scores_(link, programFolder),
      categories_(link, programFolder) {}

Command CommandDispatcher::chooseCommand(const QString& line) {
    for (const CommandWord& entry : CommandWords) {
        if (line.contains(entry.word))
            return entry.command;
    }
    return Command::None;
}

bool CommandDispatcher::passesLengthTest(const QString& line, Command command) {
    for (const CommandWord& entry : CommandWords) {
        if (entry.command == command) {
            const qsizetype separator = line.indexOf(QLatin1String("  : ")) + 1;
            return line.size() - (separator + 2) == entry.word.size() + 2;
        }
    }
    return false;
}

void CommandDispatcher::parseCommand(const QString& line, int bangPos) {
    const Command command = chooseCommand(line);
    switch (command) {
    case Command::None:
        return;
    case Command::Start:
        start(line, bangPos);
        return;
    case Command::GetUserScore:
        scores_.showScore(line, bangPos, true);
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
            link_.sendChat(PrivateReply::to(ChatLink::getNick(line), session_.question()));
        break;
    case Command::MyScore:
        scores_.showScore(line, bangPos, false);
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

void CommandDispatcher::start(const QString& line, int bangPos) {
    if (session_.isRunning() || !authorize(line))
        return;
    // The category is the word after "!START" and one separating character, counted from
    // the line's first "!".
    QString category = line.mid(bangPos + StartWordLength);
    const qsizetype blank = category.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        category.truncate(blank);
    game_.startTrivia(line, category);
}

void CommandDispatcher::quit(const QString& line) {
    if (authorize(line))
        game_.stopTrivia(line);
}

bool CommandDispatcher::authorize(const QString& line) {
    if (isAuthorizedUser(ChatLink::getNick(line)))
        return true;
    link_.sendChat(RoomTexts::unauthorized());
    return false;
}

bool CommandDispatcher::isAuthorizedUser(const QString& nick) {
    switch (UsersList(programFolder_).isAuthorizedUser(nick)) {
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

void CommandDispatcher::sayHelp(const QString& line) {
    link_.sendChat(PrivateReply::to(ChatLink::getNick(line), RoomTexts::help()));
}

} // namespace palvuro
