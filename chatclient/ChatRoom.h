#pragma once

#include "chatclient/RichEditText.h"
#include "platform/WindowApi.h"

#include <QObject>
#include <QString>

#include <memory>

namespace palvuro {

class WindowRegistry;

// The local room and the client's window tree, without widgets: the top-level window
// "Palvuro 2.0", the room "AfxWnd70u" and its descendants in enumeration order: the text
// ("RichEdit20W", first), the input box ("Edit", second), three more windows, and the Send
// button sixth. The text and input windows answer the window messages; button-down then
// button-up on Send says the input box's text as the client's own nick. The widget window
// only shows what this object holds, so tests can use it as the fake desktop's chat client.
class ChatRoom : public QObject {
    Q_OBJECT
public:
    ChatRoom(WindowRegistry& registry, const QString& ownNick, int wrapColumns = 80,
             QObject* parent = nullptr);
    ~ChatRoom() override;

    Hwnd mainWindow() const;
    Hwnd roomWindow() const;
    Hwnd textWindow() const;
    Hwnd inputBox() const;
    Hwnd sendButton() const;

    QString ownNick() const;
    void setOwnNick(const QString& nick);
    // NICK says TEXT in the room exactly as typed: "/msg N text" goes to N alone (the sender's
    // window shows it on a "/msg " line), "/notifyoff" turns join/leave notices off.
    void say(const QString& nick, const QString& text);
    void join(const QString& nick);
    void leave(const QString& nick);

    QString inputText() const;
    const RichEditText& text() const;
    RichEditText& text();

Q_SIGNALS:
    void roomLine(const QString& from, const QString& text);             // said to the room
    void privateMessage(const QString& from, const QString& to, const QString& text);
    void notice(const QString& text);                                    // join/leave notices
    void textChanged();                                                  // the text window grew
    void inputChanged(const QString& text);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
