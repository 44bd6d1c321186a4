#pragma once

#include "platform/WindowApi.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>

#include <map>
#include <memory>
#include <optional>
#include <tuple>

// What a window of another process answered to the questions only a change of the window can
// alter (its line count, a line's start and length), kept while its owner announces no change.
// The owner's notices come on a connection of their own and are written before the change can
// be asked about, so a kept answer is the one the window would give. A notice, the end of that
// connection, or an answer older than MaxAgeMs sends the next question to the window again: a
// hung owner is still noticed within that time.
class QSocketNotifier;

namespace palvuro {

class WindowAnswerCache {
public:
    static constexpr int MaxAgeMs = 1000;
    static constexpr std::size_t MaxAnswers = 4096;

    // Whether answers to MSG are kept at all.
    static bool keeps(std::uint32_t msg);
    // Asks the owner listening at SOCKETPATH to announce HWND's changes; null when it does not
    // or does not answer within TIMEOUTMS.
    static std::unique_ptr<WindowAnswerCache> open(const QString& socketPath, Hwnd hwnd, int timeoutMs);
    ~WindowAnswerCache();
    WindowAnswerCache(const WindowAnswerCache&) = delete;
    WindowAnswerCache& operator=(const WindowAnswerCache&) = delete;

    // Takes the notices that arrived; false when the owner ended the watch (the window is gone,
    // the owner ended or cut off a watcher that fell behind).
    bool refresh();
    std::optional<LResult> known(std::uint32_t msg, WParam wParam, LParam lParam) const;
    void remember(std::uint32_t msg, WParam wParam, LParam lParam, LResult result);
    // Calls WAKE once when the kept answers may no longer hold: a notice or the end of the watch
    // arrives, or the oldest answer reaches MaxAgeMs, seen by the event loop or by any question
    // asked meanwhile. Replaces the previous WAKE.
    void wakeOnChange(std::function<void()> wake);

private:
    explicit WindowAnswerCache(int descriptor);
    void forget();
    void wakeNow();

    int descriptor_;
    std::map<std::tuple<std::uint32_t, WParam, LParam>, LResult> answers_;
    QElapsedTimer oldest_;
    std::function<void()> wake_;
    std::unique_ptr<QSocketNotifier> noticed_;
    QTimer aged_;
};

} // namespace palvuro
