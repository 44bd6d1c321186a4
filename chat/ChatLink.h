#pragma once

#include "platform/EventPump.h"
#include "platform/WindowApi.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace palvuro {

class BotClocks;

// The bot's link to the chat client's windows: finding them and saying lines with the 1100 ms
// spacing.
class ChatLink {
public:
    // Told the last line of the room's text that counts as read once reading starts.
    using ReadingStarted = std::function<void(std::int32_t lastReadLine)>;

    ChatLink(WindowApi& windows, BotClocks& clocks);

    void setReadingStarted(ReadingStarted handler) { readingStarted_ = std::move(handler); }

    // Connect, step 1: the top-level window titled "Palvuro 2.0". False when there is none.
    bool findChatMainWindow();
    // Connect, steps 5 to 7: the room, its text window, input box and send button. Searches
    // afresh (a reconnect replaces every handle). False when any of the three is missing.
    bool locateChatRoom();
    // Connect, steps 9 to 13: reader on, "/notifyoff", the room's text counted as read, BotNick.
    void startReading(const QString& nickText);

    // Says the text in the room (CR LF pairs included, as one message). Waits, letting events
    // and due ticks run, until 1100 ms have passed since the previous send ended. When
    // `stillWanted` is given and says no once the wait is over, the text is dropped: what ran
    // during the wait (a stop, an answer) made it stale.
    void sendChat(const QString& text, const std::function<bool()>& stillWanted = {});
    // The program is ending: nothing more is said, and a send that is waiting gives up.
    void close();
    bool isClosed() const { return closed_; }
    Hwnd textWindow() const { return textWindow_; }
    Hwnd inputBox() const { return inputBox_; }
    // Trimmed, upper-cased.
    const QString& botNick() const { return botNick_; }
    // EM_GETLINECOUNT of the text window.
    std::int32_t lineCount();

    // The enumeration callback of the two searches.
    std::int32_t enumChildProc(Hwnd hwnd, LParam lParam);

    static constexpr std::uint32_t SendSpacingMs = 1100;

private:
    std::uint32_t msUntilSpacingMet();

    WindowApi& windows_;
    BotClocks& clocks_;
    EventPump& pump_;
    ReadingStarted readingStarted_;
    Hwnd mainWindow_ = 0;
    Hwnd container_ = 0;
    Hwnd textWindow_ = 0;
    Hwnd inputBox_ = 0;
    Hwnd sendButton_ = 0;
    std::int16_t enumCount_ = 0;
    QString botNick_;
    std::uint32_t lastSendTick_ = 0;
    bool closed_ = false;
};

} // namespace palvuro
