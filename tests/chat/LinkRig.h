#pragma once

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "chat/GameSession.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QTemporaryDir>

namespace palvuro {

// The chat link on a fake desktop, its windows found; the bot speaks as TriviaBot.
struct LinkRig {
    explicit LinkRig(int wrap = 80, std::uint32_t tick = 1000) : desk("TriviaBot", wrap), pump(tick) {
        link.findChatMainWindow();
        link.locateChatRoom();
    }
    QStringList botLines() const { return desk.linesBy("TriviaBot"); }

    QTemporaryDir dir; // outlives the game connection in `session`
    FakeDesktop desk;
    GameSession session;
    ManualEventPump pump;
    // The tests call the tick handlers themselves; the clocks' own ticks do nothing.
    BotClocks clocks{pump, {}, {}};
    GameTimings& timings = clocks.timings();
    TimerSwitch& getText = clocks.reader();
    TimerSwitch& pause = clocks.pause();
    ChatLink link{desk.api(), clocks};
};

} // namespace palvuro
