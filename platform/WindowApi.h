#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace palvuro {

// Window handles are nonzero 32-bit values, unique on the desktop while their window lives.
using Hwnd = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Message numbers, with their Win32 meanings.
namespace wm {
constexpr std::uint32_t SetText = 12;       // lParam: NUL-terminated Windows-1252 text; result TRUE
constexpr std::uint32_t LButtonDown = 513;  // posted
constexpr std::uint32_t LButtonUp = 514;    // posted
constexpr std::uint32_t GetLineCount = 186; // EM_GETLINECOUNT
constexpr std::uint32_t LineIndex = 187;    // EM_LINEINDEX, wParam: line
constexpr std::uint32_t LineLength = 193;   // EM_LINELENGTH, wParam: a character index
constexpr std::uint32_t GetLine = 196; // EM_GETLINE, wParam: line, lParam: char buffer, first WORD = capacity
constexpr std::uint32_t Command = 273; // WM_COMMAND (button click reaching its parent)
} // namespace wm

// The subset of the Win32 window-message API that the trivia host relies on. Texts cross as
// Windows-1252 bytes. Implementations: the desktop bus (BusWindowApi), the in-process registry
// (LocalWindowApi, used by tests as the fake desktop) and, later, user32 itself.
class WindowApi {
public:
    // EnumChildWindows callback: return 0 to stop the walk.
    using EnumProc = std::function<std::int32_t(Hwnd, LParam)>;

    virtual ~WindowApi() = default;

    // FindWindowA(className, title): top-level windows only, whole title, letter case ignored.
    // Either argument may be null (matches anything). Returns 0 when none.
    virtual Hwnd findWindow(const char* className, const char* title) = 0;
    // EnumChildWindows: every descendant, depth-first pre-order, siblings in creation order.
    // Returns false when parent is not a window.
    virtual bool enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) = 0;
    // GetClassNameA: copies at most maxCount-1 characters plus a NUL; returns the count copied.
    virtual int getClassName(Hwnd hwnd, char* buffer, int maxCount) = 0;
    // FindWindowExA(parent, childAfter, className, title): direct children only, class and
    // title compared without regard to case; null className/title match anything.
    virtual Hwnd findWindowEx(Hwnd parent, Hwnd childAfter, const char* className, const char* title) = 0;
    // SendMessageA: waits for the result; 0 when the window or its owner is gone or does not
    // answer within a short bound.
    virtual LResult sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    // PostMessageA: queues the message and returns at once; false when the window is unknown.
    virtual bool postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) = 0;

    // The answer sendMessage would give now, when it is known here without asking the window's
    // owner; then WAKE is called once, later, when that may no longer hold (the owner announced a
    // change or ended, or the answer is old enough to be asked again). nullopt, and no call, when
    // the question would go to the window. A later call for the same window replaces WAKE.
    virtual std::optional<LResult> keptAnswer(Hwnd /*hwnd*/, std::uint32_t /*msg*/, WParam /*wParam*/,
                                              LParam /*lParam*/, std::function<void()> /*wake*/) {
        return std::nullopt;
    }

    // Not part of the bot's needs; used by palvuro-spy: every top-level window and its title.
    virtual std::vector<std::pair<Hwnd, std::string>> topLevelWindows() = 0;
};

} // namespace palvuro
