#pragma once

#include "chat/GameSession.h"
#include "chat/GameTimings.h"

#include <QString>

#include <functional>
#include <memory>

namespace palvuro {

class ChatLink;
class EventPump;
class TickSchedule;
class TimerSwitch;
class WindowApi;

// The whole engine behind the main window: chat link, reader and answer check, question
// cycle, "!" commands, game start and stop, wired together, and the one game they share. The
// main window owns it (and the operator's timings and the two timers) and forwards its timer
// ticks and menu commands here.
class TriviaBot {
public:
    struct Hooks {
        // txt_cheat shows the current answer.
        std::function<void(const QString&)> showCheat;
        // An unexpected error while picking a question: the window shows the description, then
        // the number, then unloads (the program ends).
        std::function<void(const QString& description, int number)> fatalError;
    };

    // `ticks` holds the two timers; the link runs it while a send waits.
    TriviaBot(GameTimings& timings, WindowApi& windows, EventPump& pump, TickSchedule& ticks,
              TimerSwitch& getText, TimerSwitch& startGetrandom, const QString& programFolder, Hooks hooks);
    ~TriviaBot();

    ChatLink& link();
    const GameSession& session() const;

    void getTextTimer();                  // GetText_Timer: every 10 ms once connected
    void startGetrandomTimer();           // StartGetrandom_Timer: every 1000 ms while enabled
    void ramdomQuestion();                // RamdomQuestion
    void stopTrivia(const QString& line); // StopTrivia (empty line: "[Trivia Ended]")
    // Closes the game's database objects, ignoring failures (the program's end).
    void closeGame();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
