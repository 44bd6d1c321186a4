#pragma once

#include "bridge/ClientProfile.h"
#include "bridge/ConversationNicks.h"
#include "irc/IrcSendQueue.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>

namespace palvuro {

class ChatRoom;
class TextReader;

// Puts the room on a conversation of another chat client, found through the accessibility bus
// with the client's profile: the conversation's new lines are shown in the room's window with
// the local room's layout, one per pacing interval, and what the client's own nick says there
// is typed into the client, paced as a network would want it. Our own lines are shown when
// said, as in every room of ours, and the client's showing them again is passed over: the bot
// reads its line and a quick answer to it apart only when its own comes first. Only what is new is read, from
// where the last read ended. When the conversation goes away (closed, the client ended) the link
// says so and looks for it again until it is back. When the client is out of the room while the
// conversation stays open (its account disconnected), the link says so too, and what the bot
// says waits until the client is in the room again: typed then, nothing lost and nothing twice.
class ConversationLink : public QObject {
    Q_OBJECT
public:
    // Lines reach the window at most this often, so the bot reads each on its own.
    static constexpr int LineIntervalMs = 25;
    // How often a lost conversation is looked for, and a found one checked.
    static constexpr int WatchMs = 2000;
    // Our room lines the client may still show back; a minute of lines at the typing pace.
    static constexpr std::size_t MaxUnechoed = 60;
    // How often, and how long, the client is asked whether it took a typed line.
    static constexpr int TakenPollMs = 10;
    static constexpr int TakenWaitMs = 3000;
    static constexpr int MaxPresses = 6;

    ConversationLink(ChatRoom& room, const ClientProfile& profile, const QString& conversation,
                     QObject* parent = nullptr);
    ~ConversationLink() override;

    // Connects to the accessibility bus and starts looking; false with why when there is none.
    bool start(QString* why);
    bool isAttached() const { return !conversation_.isNull(); }
    QString status() const { return status_; }

Q_SIGNALS:
    void statusChanged(const QString& status);
    // Something the person running the bridge should know of that the room does not show.
    void failure(const QString& text);

private:
    void watch();
    void attach(const Conversation& conversation);
    void detach(const QString& why);
    void leaveRoom();
    void backInRoom();
    bool canType() const { return isAttached() && !outOfRoom_; }
    void readNew();
    void show(const ConversationLine& line);
    bool send(const QString& to, const QString& text);
    bool isOwnEcho(const ConversationLine& line);
    void typeWaiting();
    void typeNext();
    void reportUndelivered(const QString& typed);
    void setStatus(const QString& status);
    QString lookingStatus() const;
    QString followingStatus() const;
    QString outOfRoomStatus() const;

    ChatRoom& room_;
    const ClientProfile& profile_;
    QString name_;
    Conversation conversation_;
    std::unique_ptr<TextReader> reader_;
    QTimer watch_;
    IrcSendQueue queue_;
    QTimer typing_;
    QList<QByteArray> toType_; // let go by the pacing, typed one at a time
    QTimer taken_;
    QElapsedTimer sinceTyped_;
    QString lastTyped_;
    int presses_ = 0; // of Return for the line last typed
    bool outOfRoom_ = false;
    QElapsedTimer clock_;
    QString status_;
    // Room lines typed and not yet shown back by the client, and the nick it shows them with.
    std::deque<QString> echoes_;
    QString ownNick_;
    ConversationNicks nicks_; // who said something, for the bot's private lines
    bool toldHowToShow_ = false;
};

} // namespace palvuro
