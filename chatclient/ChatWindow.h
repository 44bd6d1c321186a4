#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace palvuro {

class ChatRoom;

// The client's window "Palvuro 2.0": the room's text, an input line with a nick picker beside
// it (the person at the client may speak as any nick) and a Send button. It only shows what
// the room holds and hands typed lines to it.
class ChatWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChatWindow(ChatRoom& room, QWidget* parent = nullptr);

    // Paragraphs shown in the room but not yet drawn (they are drawn in batches).
    void flushPending();

private:
    void queueParagraph(const QString& text);
    void refillNicks();
    void send();

    ChatRoom& room_;
    QPlainTextEdit* view_;
    QComboBox* nickPicker_;
    QLineEdit* input_;
    QPushButton* sendButton_;
    QString pending_;
    QTimer flushTimer_;
};

} // namespace palvuro
