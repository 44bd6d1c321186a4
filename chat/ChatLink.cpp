#include "chat/ChatLink.h"
#include "chat/RoomTexts.h"

#include "data/Spaces.h"

#include "chat/BotClocks.h"
#include "chat/ChatLog.h"
#include "chat/TimerSwitch.h"
#include "platform/LetterCase.h"
#include "platform/Windows1252.h"

#include <algorithm>
#include <limits>

namespace palvuro {

namespace {

constexpr char ChatClientTitle[] = "Palvuro 2.0";
constexpr char RoomClass[] = "AfxWnd70u";
constexpr int ClassBufferSize = 10;
constexpr std::int16_t SendButtonPosition = 6;

} // namespace

ChatLink::ChatLink(WindowApi& windows, BotClocks& clocks)
    : windows_(windows), clocks_(clocks), pump_(clocks.pump()) {}

bool ChatLink::findChatMainWindow() {
    mainWindow_ = windows_.findWindow(nullptr, ChatClientTitle);
    return mainWindow_ != 0;
}

bool ChatLink::locateChatRoom() {
    // A second connect must not mistake the old room for the new one: forget every handle so
    // the first search really looks for the room again.
    container_ = 0;
    textWindow_ = 0;
    inputBox_ = 0;
    sendButton_ = 0;
    enumCount_ = 0;

    const auto proc = [this](Hwnd hwnd, LParam lParam) { return enumChildProc(hwnd, lParam); };
    windows_.enumChildWindows(mainWindow_, proc, 0);
    if (container_ != 0)
        windows_.enumChildWindows(container_, proc, 0);
    return inputBox_ != 0 && sendButton_ != 0 && textWindow_ != 0;
}

void ChatLink::startReading(const QString& nickText) {
    // A reconnect reads a new window, where the place reached in the old one means nothing: the
    // new window's text counts as read before a tick during "/notifyoff" could take it for new
    // lines and answer them again.
    TimerSwitch& reader = clocks_.reader();
    if (reader.isEnabled() && readingStarted_)
        readingStarted_(lineCount() - 2);
    reader.setEnabled(true);
    sendChat(RoomTexts::notifyOff());
    pump_.processEvents();
    if (readingStarted_)
        readingStarted_(lineCount() - 2);
    botNick_ = Spaces::trimmed(LetterCase::upper(nickText));
}

void ChatLink::sendChat(const QString& text, const std::function<bool()>& stillWanted) {
    // The caller is usually a tick handler, and Qt never delivers a QTimer's timeout again
    // while its slot runs, so the wait cannot count on the event loop for ticks: it runs the
    // schedule's due ticks itself (a reader tick every 10 ms, the pause clock) and otherwise
    // sleeps in the event loop until the next deadline, its own or a tick's. A tick run here
    // may send too; its line then goes first, and this one waits its spacing after it.
    for (std::uint32_t remaining = msUntilSpacingMet(); remaining != 0 && !closed_;
         remaining = msUntilSpacingMet()) {
        // Lines said from nested ticks keep overtaking this one; once it is stale it gives up
        // its turn at once instead of waiting for a gap that a running game may never leave.
        if (stillWanted && !stillWanted())
            return;
        const std::uint32_t untilTick = clocks_.schedule().msUntilNextDue();
        if (untilTick == 0)
            clocks_.runDue();
        else
            pump_.waitForEvents(std::min(remaining, untilTick));
    }
    if (closed_) {
        qCInfo(lcChat) << "the program is ending; not said:" << text.left(80);
        return;
    }
    if (stillWanted && !stillWanted())
        return;

    const QByteArray bytes = Windows1252::encode(text); // constData() is NUL-terminated
    windows_.sendMessage(inputBox_, wm::SetText, static_cast<WParam>(text.size()),
                         reinterpret_cast<LParam>(bytes.constData()));
    windows_.postMessage(sendButton_, wm::LButtonDown, 0, 0);
    windows_.postMessage(sendButton_, wm::LButtonUp, 0, 0);
    pump_.processEvents();

    // 0 means "never sent"; a send that ends exactly at the wrap is marked one tick later.
    const std::uint32_t now = pump_.tickCount();
    lastSendTick_ = now != 0 ? now : 1;
}

std::uint32_t ChatLink::msUntilSpacingMet() {
    // Read afresh each time: the previous send may be one that ran nested inside this wait.
    // Unsigned subtraction keeps the spacing right across the wrap.
    if (lastSendTick_ == 0)
        return 0;
    std::uint32_t elapsed = pump_.tickCount() - lastSendTick_;
    if (elapsed == std::numeric_limits<std::uint32_t>::max())
        elapsed = 0; // the send ended at tick 0 and was marked 1 (see below)
    return elapsed >= SendSpacingMs ? 0 : SendSpacingMs - elapsed;
}

void ChatLink::close() {
    closed_ = true;
}

std::int32_t ChatLink::lineCount() {
    const LResult count = windows_.sendMessage(textWindow_, wm::GetLineCount, 0, 0);
    if (count < 0 || count > std::numeric_limits<std::int32_t>::max())
        return 0; // a garbled answer reads as a failed message
    return static_cast<std::int32_t>(count);
}

std::int32_t ChatLink::enumChildProc(Hwnd hwnd, LParam /*lParam*/) {
    if (enumCount_ < std::numeric_limits<std::int16_t>::max())
        ++enumCount_;

    if (container_ == 0) {
        char className[ClassBufferSize] = {};
        windows_.getClassName(hwnd, className, ClassBufferSize);
        if (QByteArray(className) != RoomClass)
            return 1;
        container_ = hwnd;
        textWindow_ = windows_.findWindowEx(hwnd, 0, "RichEdit20W", nullptr);
        inputBox_ = windows_.findWindowEx(hwnd, 0, "Edit", nullptr);
        enumCount_ = 0;
        return 0;
    }

    if (enumCount_ == SendButtonPosition) {
        sendButton_ = hwnd;
        enumCount_ = 0;
        return 0;
    }
    return 1;
}

} // namespace palvuro
