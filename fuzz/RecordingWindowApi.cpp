#include "fuzz/RecordingWindowApi.h"

#include "platform/Windows1252.h"

#include <cstring>

namespace palvuro {

Hwnd RecordingWindowApi::findWindow(const char* className, const char* title) {
    ++messages_;
    return inner_.findWindow(className, title);
}

bool RecordingWindowApi::enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) {
    ++messages_;
    return inner_.enumChildWindows(parent, proc, lParam);
}

int RecordingWindowApi::getClassName(Hwnd hwnd, char* buffer, int maxCount) {
    ++messages_;
    return inner_.getClassName(hwnd, buffer, maxCount);
}

Hwnd RecordingWindowApi::findWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                                      const char* title) {
    ++messages_;
    return inner_.findWindowEx(parent, childAfter, className, title);
}

LResult RecordingWindowApi::sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    ++messages_;
    if (msg == wm::SetText && hwnd == inputBox_ && inputBox_ != 0 && lParam != 0) {
        // wParam is the text's length in characters; a shorter C string was cut by a NUL.
        const auto* bytes = reinterpret_cast<const char*>(lParam);
        const std::size_t length = std::strlen(bytes);
        said_.append({Windows1252::decode(bytes, static_cast<int>(length)), wParam > length});
    }
    return inner_.sendMessage(hwnd, msg, wParam, lParam);
}

bool RecordingWindowApi::postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    ++messages_;
    return inner_.postMessage(hwnd, msg, wParam, lParam);
}

std::vector<std::pair<Hwnd, std::string>> RecordingWindowApi::topLevelWindows() {
    ++messages_;
    return inner_.topLevelWindows();
}

} // namespace palvuro
