#pragma once

#include "platform/WindowApi.h"

#include <memory>

namespace palvuro {

// WindowApi over the desktop bus: finds windows by asking every live socket in the per-user
// bus folder (stale sockets of dead processes are skipped and removed), sends a message as one
// request and one reply on a kept-open connection, posts without waiting. A window whose owner
// is gone, or that does not answer within replyTimeoutMs, gives 0 at once.
class BusWindowApi : public WindowApi {
public:
    explicit BusWindowApi(int replyTimeoutMs = 500);
    ~BusWindowApi() override;

    Hwnd findWindow(const char* className, const char* title) override;
    bool enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) override;
    int getClassName(Hwnd hwnd, char* buffer, int maxCount) override;
    Hwnd findWindowEx(Hwnd parent, Hwnd childAfter, const char* className, const char* title) override;
    LResult sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    bool postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    std::optional<LResult> keptAnswer(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                                      std::function<void()> wake) override;
    std::vector<std::pair<Hwnd, std::string>> topLevelWindows() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
