#pragma once

#include "data/TriviaDatabase.h"
#include "platform/WindowApi.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace palvuro {

// The engine's program-wide values and the main window's engine fields, in one object that the
// main window owns and hands to the libraries by reference.
struct EngineState {
    // The chat client's windows (set by the connect).
    Hwnd chatMainWindow = 0;
    Hwnd chatContainer = 0;
    Hwnd chatTextWindow = 0;
    Hwnd chatInputBox = 0;
    Hwnd chatSendButton = 0;
    std::int16_t enumCount = 0;

    QString botNick; // trimmed, upper-cased
    std::uint32_t lastSendTick = 0;

    // The reader.
    std::int32_t lastLineIndex = 0;
    QString lastText;

    // The game.
    QString currentQuestion;
    QString currentAnswer; // upper-cased, left-trimmed
    bool questionActive = false;
    bool gameRunning = false;
    std::uint32_t gameNumber = 0; // counts the starts, so a line can tell whether its game still runs
    std::unique_ptr<TriviaDatabase> triviaConnection; // the game's connection
    QString gameCategory; // the stored name of the game's table (the "questions record set")

    // The clocks.
    std::int16_t answerTicks = 0;
    std::int16_t nextQuestionSecs = 0;
    std::int16_t pauseSecs = 0;
    std::int16_t giveAnswerSecs = 0;
    bool giveAnswer = false; // "Give Answer" ticked: time's up reveals the answer

    bool inTray = false;
};

} // namespace palvuro
