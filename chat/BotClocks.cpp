#include "chat/BotClocks.h"

#include "chat/QtTickDriver.h"

namespace palvuro {

namespace {

// A clock without a listener still ticks, so a send's wait keeps its rhythm.
std::function<void()> orNothing(std::function<void()> handler) {
    if (handler)
        return handler;
    return [] {};
}

} // namespace

BotClocks::BotClocks(EventPump& pump, std::function<void()> onReaderTick, std::function<void()> onPauseTick)
    : pump_(pump), schedule_(pump), reader_(schedule_.add(ReaderTickMs, orNothing(std::move(onReaderTick)))),
      pause_(schedule_.add(PauseTickMs, orNothing(std::move(onPauseTick)))) {}

BotClocks::~BotClocks() = default;

void BotClocks::driveFromEventLoop() {
    if (!driver_)
        driver_ = std::make_unique<QtTickDriver>(schedule_);
}

} // namespace palvuro
