#pragma once

#include "chat/ChatLink.h"
#include "chat/GameSession.h"
#include "chat/GameTimings.h"
#include "chat/TickSchedule.h"
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
    GameTimings timings;
    ManualEventPump pump;
    FlagTimerSwitch getText, pause;
    TickSchedule ticks{pump};
    ChatLink link{desk.api(), pump, ticks, getText};
};

} // namespace palvuro
