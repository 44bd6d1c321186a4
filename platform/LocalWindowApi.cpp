#include "platform/LocalWindowApi.h"

#include "platform/Win32Semantics.h"
#include "platform/WindowRegistry.h"

#include <QMetaObject>

namespace palvuro {

LocalWindowApi::LocalWindowApi(WindowRegistry& registry) : registry_(registry) {}

Hwnd LocalWindowApi::findWindow(const char* className, const char* title) {
    // Several matches: the most recently created stands on top, as on a real desktop.
    const auto windows = registry_.topLevel();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (Win32Semantics::matches(className, registry_.className(*it)) &&
            Win32Semantics::matches(title, registry_.title(*it)))
            return *it;
    }
    return 0;
}

bool LocalWindowApi::enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) {
    if (!registry_.exists(parent))
        return false;
    // The walk is fixed at the start: windows created meanwhile are not visited, windows
    // destroyed before their turn are skipped.
    for (Hwnd hwnd : registry_.descendants(parent)) {
        if (registry_.exists(hwnd) && proc(hwnd, lParam) == 0)
            break;
    }
    return true;
}

int LocalWindowApi::getClassName(Hwnd hwnd, char* buffer, int maxCount) {
    if (!registry_.exists(hwnd))
        return 0;
    return Win32Semantics::copyTruncated(registry_.className(hwnd), buffer, maxCount);
}

Hwnd LocalWindowApi::findWindowEx(Hwnd parent, Hwnd childAfter, const char* className, const char* title) {
    const auto kids = parent == 0 ? registry_.topLevel() : registry_.children(parent);
    bool started = childAfter == 0;
    for (Hwnd hwnd : kids) {
        if (!started) {
            started = hwnd == childAfter;
            continue;
        }
        if (Win32Semantics::matches(className, registry_.className(hwnd)) &&
            Win32Semantics::matches(title, registry_.title(hwnd)))
            return hwnd;
    }
    return 0;
}

LResult LocalWindowApi::sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    return registry_.dispatch(hwnd, msg, wParam, lParam);
}

bool LocalWindowApi::postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    if (!registry_.exists(hwnd))
        return false;
    // Queued on the context object, so a message still pending when this object dies is dropped.
    WindowRegistry* registry = &registry_;
    QMetaObject::invokeMethod(
        &context_, [registry, hwnd, msg, wParam, lParam] { registry->dispatch(hwnd, msg, wParam, lParam); },
        Qt::QueuedConnection);
    return true;
}

std::vector<std::pair<Hwnd, std::string>> LocalWindowApi::topLevelWindows() {
    std::vector<std::pair<Hwnd, std::string>> out;
    for (Hwnd hwnd : registry_.topLevel())
        out.emplace_back(hwnd, registry_.title(hwnd));
    return out;
}

} // namespace palvuro
