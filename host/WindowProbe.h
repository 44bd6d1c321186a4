#pragma once

#include <memory>

namespace palvuro {

class WindowApi;

// Asks over the desktop bus whether the chat client and the bot still handle their window
// messages: the client's window "Palvuro 2.0" is found and the room's text answers a line count;
// the bot's window "Palvuro Trivia" is found. A hung program answers nothing within the bus's
// reply bound.
class WindowProbe {
public:
    WindowProbe();
    ~WindowProbe();
    bool clientAnswers();
    bool botAnswers();

private:
    std::unique_ptr<WindowApi> windows_;
};

} // namespace palvuro
