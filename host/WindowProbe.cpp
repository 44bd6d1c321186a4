#include "host/WindowProbe.h"

#include "platform/BusWindowApi.h"

#include <cstring>

namespace palvuro {

namespace {

constexpr int kReplyTimeoutMs = 2000;

} // namespace

WindowProbe::WindowProbe() : windows_(std::make_unique<BusWindowApi>(kReplyTimeoutMs)) {}

WindowProbe::~WindowProbe() = default;

bool WindowProbe::clientAnswers() {
    const Hwnd main = windows_->findWindow(nullptr, "Palvuro 2.0");
    if (main == 0)
        return false;
    Hwnd text = 0;
    windows_->enumChildWindows(
        main,
        [this, &text](Hwnd hwnd, LParam) {
            char name[16] = {};
            windows_->getClassName(hwnd, name, int(sizeof name));
            if (std::strcmp(name, "RichEdit20W") != 0)
                return 1;
            text = hwnd;
            return 0;
        },
        0);
    // Every room has at least its empty last line.
    return text != 0 && windows_->sendMessage(text, wm::GetLineCount, 0, 0) > 0;
}

bool WindowProbe::botAnswers() {
    return windows_->findWindow(nullptr, "Palvuro Trivia") != 0;
}

} // namespace palvuro
