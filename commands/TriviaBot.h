#pragma once

#include "chat/GameSession.h"
#include "data/TriviaStore.h"

#include <QString>

#include <functional>
#include <memory>

namespace palvuro {

class BotClocks;
class ChatLink;
class EventPump;
class GameTimings;
class TimerSwitch;
class WindowApi;

// The whole engine: its clocks and the operator's timings, the chat link, reader and answer
// check, question cycle, "!" commands, game start and stop, wired together, and the one game
// they share. Whoever runs it (the main window, a test, a benchmark) sets the timings, connects
// through the link and listens to the hooks; the engine's own timers drive everything else.
class TriviaBot {
public:
    struct Hooks {
        // txt_cheat shows the current answer.
        std::function<void(const QString&)> showCheat;
        // An unexpected error while picking a question: the window shows the description, then
        // the number, then unloads (the program ends).
        std::function<void(const QString& description, int number)> fatalError;
    };

    TriviaBot(WindowApi& windows, EventPump& pump, TriviaStore store, Hooks hooks);
    ~TriviaBot();

    ChatLink& link();
    const GameSession& session() const;
    BotClocks& clocks();
    GameTimings& timings();

    void getTextTimer();        // GetText_Timer: every 10 ms once connected
    void startGetrandomTimer(); // StartGetrandom_Timer: every 1000 ms while enabled
    void ramdomQuestion();      // RamdomQuestion
    void stopTrivia();          // StopTrivia with no line: "[Trivia Ended]"
    // Closes the game's database objects, ignoring failures (the program's end).
    void closeGame();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
