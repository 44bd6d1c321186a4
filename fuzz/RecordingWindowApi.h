#pragma once

#include "platform/WindowApi.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace palvuro {

// A WindowApi that passes every call on and keeps every text put into one window (the chat
// client's input box): everything the bot says crosses that box, so the log is exactly what the
// bot said, in order, as the client received it.
class RecordingWindowApi : public WindowApi {
public:
    explicit RecordingWindowApi(WindowApi& inner) : inner_(inner) {}

    struct Said {
        QString text;
        bool cutByNul = false; // the text held a NUL, and the box took only what came before it
    };

    void watchInputBox(Hwnd box) { inputBox_ = box; }
    const QList<Said>& said() const { return said_; }
    std::uint64_t messageCount() const { return messages_; }

    Hwnd findWindow(const char* className, const char* title) override;
    bool enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) override;
    int getClassName(Hwnd hwnd, char* buffer, int maxCount) override;
    Hwnd findWindowEx(Hwnd parent, Hwnd childAfter, const char* className, const char* title) override;
    LResult sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    bool postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    std::vector<std::pair<Hwnd, std::string>> topLevelWindows() override;

private:
    WindowApi& inner_;
    Hwnd inputBox_ = 0;
    QList<Said> said_;
    std::uint64_t messages_ = 0;
};

} // namespace palvuro
