#pragma once

#include "platform/WindowApi.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace palvuro {

// The windows one process owns: a tree of handles with class names, titles and a window
// procedure each. The owner (palvuro-chat, or a test's fake desktop) creates windows here;
// LocalWindowApi answers the WindowApi calls on it in-process and BusServer publishes it on
// the desktop bus. Window procedures get Win32 arguments with in-process pointers: for
// wm::SetText lParam is a NUL-terminated const char*, for wm::GetLine a char buffer whose
// first two bytes hold its capacity (low byte first).
class WindowRegistry {
public:
    using WindowProc = std::function<LResult(std::uint32_t msg, WParam wParam, LParam lParam)>;

    // Handles are handleBase + 1, handleBase + 2, ... (never 0).
    explicit WindowRegistry(Hwnd handleBase = 0x1000);

    // parent 0 makes a top-level window. The proc may be empty (the window answers 0).
    Hwnd create(Hwnd parent, const std::string& className, const std::string& title = {},
                WindowProc proc = {});
    // Destroys the window and all its descendants; unknown handles are ignored.
    void destroy(Hwnd hwnd);
    void setTitle(Hwnd hwnd, const std::string& title);
    void setProc(Hwnd hwnd, WindowProc proc);

    bool exists(Hwnd hwnd) const;
    std::vector<Hwnd> topLevel() const;               // creation order
    std::vector<Hwnd> children(Hwnd parent) const;    // direct children, creation order
    std::vector<Hwnd> descendants(Hwnd parent) const; // depth-first pre-order
    std::string className(Hwnd hwnd) const;
    std::string title(Hwnd hwnd) const;
    Hwnd parent(Hwnd hwnd) const;

    // Calls the window's procedure at once; 0 for an unknown window or one without a proc.
    LResult dispatch(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam);

    // A window whose owner calls changed() whenever what it answers may differ (and at the
    // latest when it is destroyed) lets other processes keep its answers until then, instead
    // of asking again a hundred times a second.
    void announceChanges(Hwnd hwnd);
    bool announcesChanges(Hwnd hwnd) const;
    void changed(Hwnd hwnd);
    // Hears of every change of a window that announces them, destruction included.
    using ChangeListener = std::function<void(Hwnd)>;
    void setChangeListener(ChangeListener listener);

private:
    struct Window {
        Hwnd parent = 0;
        std::string className;
        std::string title;
        WindowProc proc;
        std::vector<Hwnd> children;
        bool announcesChanges = false;
    };
    std::map<Hwnd, Window> windows_;
    std::vector<Hwnd> topLevel_;
    Hwnd next_;
    ChangeListener changeListener_;
};

} // namespace palvuro
