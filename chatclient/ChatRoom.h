#pragma once

#include "chatclient/LinePacer.h"
#include "chatclient/RichEditText.h"
#include "platform/WindowApi.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
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

    // Carries the client's own lines beyond this window (TO empty: the room); false when the
    // line could not go, and then it is not shown as said.
    using Sender = std::function<bool(const QString& to, const QString& text)>;
    void setSender(Sender sender);
    // From now on the text window gets at most one paragraph per INTERVAL_MS (0: at once).
    void setLinePacing(int intervalMs);
    // The text window keeps at most LINES lines (0: all), dropping the oldest in blocks as new
    // ones come. No line is lost to a drop as long as the bot reads the window between any two
    // lines shown, which the line pacing of a channel gives it.
    void setKeepLines(int lines);
    int keepLines() const;

    QString ownNick() const;
    void setOwnNick(const QString& nick);
    // NICK says TEXT in the room exactly as typed: "/msg N text" goes to N alone (the sender's
    // window shows it on a "/msg " line), "/notifyoff" turns join/leave notices off.
    void say(const QString& nick, const QString& text);
    // A line someone elsewhere said: shown as said, whatever it holds.
    void hear(const QString& nick, const QString& text);
    void join(const QString& nick);
    void leave(const QString& nick);
    // A notice of someone coming or going, unless "/notifyoff" turned them off.
    void announce(const QString& line);
    // A line the client itself has to say (a failure, someone's action); shown even after
    // "/notifyoff". Someone's action is a chat line: a flood may drop it.
    void report(const QString& line, LinePacer::Kind kind = LinePacer::Kind::Kept);
    // Everyone in the room as the network lists them; the client's own nick is kept first.
    // Beyond MaxMembers nicks the rest are not listed.
    void setMembers(const QStringList& nicks);
    static constexpr int MaxMembers = 5000;

    QString inputText() const;
    // The input box as the person at the client edits it (WM_SETTEXT does the same for the bot).
    void setInputText(const QString& text);
    // What the Send button does: the input box's text is said as the client's own nick, once,
    // and the box is emptied.
    void sendInput();
    // Who is in the room, in order of arrival; the client's own nick first.
    QStringList members() const;
    bool noticesOn() const;
    const RichEditText& text() const;
    RichEditText& text();

Q_SIGNALS:
    void roomLine(const QString& from, const QString& text); // said to the room
    void privateMessage(const QString& from, const QString& to, const QString& text);
    void notice(const QString& text);         // join/leave notices
    void textChanged();                       // the text window grew
    void paragraphShown(const QString& text); // one paragraph (it may hold line breaks) appended
    void membersChanged();
    void inputChanged(const QString& text);

private:
    // Lines said by others may be dropped in a flood; the client's own and its notices never.
    void show(const QString& paragraph, LinePacer::Kind kind = LinePacer::Kind::Kept);
    void showLine(const QString& nick, const QString& text, LinePacer::Kind kind);
    void append(const QString& paragraph);
    LResult roomProc(std::uint32_t msg, WParam wParam, LParam lParam);
    LResult buttonProc(std::uint32_t msg, Hwnd button, WParam id, bool& pushed);
    LResult inputProc(std::uint32_t msg, LParam lParam);
    LResult textProc(std::uint32_t msg, WParam wParam, LParam lParam);
    LResult copyLine(std::int32_t line, char* buffer) const;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
