#pragma once

#include "platform/WindowApi.h"

#include <QObject>

namespace palvuro {

class WindowRegistry;

// WindowApi over windows of this process (tests' fake desktop; a process talking to itself).
// Sent messages run the window procedure at once; posted ones run from the Qt event loop,
// in order (QMetaObject::invokeMethod with a queued connection on the calling thread).
class LocalWindowApi : public WindowApi {
public:
    explicit LocalWindowApi(WindowRegistry& registry);

    Hwnd findWindow(const char* className, const char* title) override;
    bool enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) override;
    int getClassName(Hwnd hwnd, char* buffer, int maxCount) override;
    Hwnd findWindowEx(Hwnd parent, Hwnd childAfter, const char* className, const char* title) override;
    LResult sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    bool postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    std::vector<std::pair<Hwnd, std::string>> topLevelWindows() override;

private:
    WindowRegistry& registry_;
    QObject context_; // owns the queued posts
};

} // namespace palvuro
