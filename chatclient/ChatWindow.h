#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <deque>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace palvuro {

class ChatRoom;
class IrcRoomLink;

// The client's window "Palvuro 2.0": the room's text, an input line with a nick picker beside
// it (the person at the client may speak as any nick) and a Send button. It only shows what
// the room holds and hands typed lines to it.
//
// The view keeps the newest kScrollbackLines lines, as chat clients do, and no more than the
// room's text window keeps: a text view costs several hundred bytes per line, which for a room
// of a million lines would dwarf the room itself. The private messages keep the newest
// kPrivateLines.
class ChatWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScrollbackLines = 50000;
    static constexpr int kPrivateLines = 1000;
    static constexpr std::size_t kBatchLines = 1000;

    // Takes the room's line limit as it is now.
    explicit ChatWindow(ChatRoom& room, QWidget* parent = nullptr);

    // The room is a channel: the window shows the connection's status, the channel's users
    // and the private messages to the client, and speaks only as the client's own nick.
    void showNetwork(IrcRoomLink& link);

    // Draws the lines shown in the room but not yet drawn (they are drawn in batches).
    void flushPending();

private:
    void queueParagraph(const QString& text);
    void releaseScrolledOut(std::size_t drawn);
    void refillNicks();
    void send();

    ChatRoom& room_;
    QPlainTextEdit* view_;
    QComboBox* nickPicker_;
    QLineEdit* input_;
    QPushButton* sendButton_;
    QLabel* status_ = nullptr;
    QListWidget* users_ = nullptr;
    QPlainTextEdit* privateView_ = nullptr;
    std::size_t scrollback_;
    std::deque<QString> pending_; // display lines, at most scrollback_
    std::size_t drawnSinceRelease_ = 0;
    QTimer flushTimer_;
};

} // namespace palvuro
