#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace palvuro {

class ChatLink;
class WindowApi;

// Connects the bot to the chat client with nobody at the window (palvuro-trivia --connect). A
// connect that finds no client or no room yet is logged and tried again every 2 s instead of
// stopping on a message box; once connected, the client's windows are watched, and when the
// client ends the bot connects to the client's next window by itself. A game goes on meanwhile.
class AutoConnect : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Connected, NoClient, NoNick, NoRoom };
    // The connect procedure, reporting instead of showing what failed.
    using Attempt = std::function<Outcome()>;

    static constexpr int RetryMs = 2000;

    AutoConnect(ChatLink& link, WindowApi& windows, Attempt attempt, QObject* parent = nullptr);

    // The first attempt runs from the event loop, once the window is up.
    void start();
    bool isConnected() const { return connected_; }

Q_SIGNALS:
    // The client's windows are gone; the bot looks for the next ones.
    void disconnected();

private:
    void check();
    bool clientAlive();
    void failed(Outcome outcome);

    ChatLink& link_;
    WindowApi& windows_;
    Attempt attempt_;
    QTimer timer_;
    bool connected_ = false;
    Outcome lastFailure_ = Outcome::Connected;
};

} // namespace palvuro
