#pragma once

#include "platform/EventPump.h"

namespace palvuro {

// The real clock and event pump: a monotonic millisecond count truncated to 32 bits, and the
// Qt event loop of the calling thread.
class QtEventPump : public EventPump {
public:
    std::uint32_t tickCount() override;
    void processEvents() override;
    void waitForEvents(std::uint32_t maxMs) override;
};

} // namespace palvuro
