#pragma once

#include <memory>

namespace palvuro {

class WindowApi;

// Asks over the desktop bus whether the chat client still handles its window messages: its
// window "Palvuro 2.0" is found and the room's text answers a line count. A hung client
// answers neither within the bus's reply bound.
class WindowProbe {
public:
    WindowProbe();
    ~WindowProbe();
    bool clientAnswers();

private:
    std::unique_ptr<WindowApi> windows_;
};

} // namespace palvuro
