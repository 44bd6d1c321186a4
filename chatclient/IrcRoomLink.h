#pragma once

#include "chatclient/MembershipNotices.h"
#include "irc/IrcSession.h"

#include <QObject>
#include <QString>

namespace palvuro {

class ChatRoom;

// Puts the room on an IRC channel: what the channel says is shown in the room's window with the
// local room's layout, one line per pacing interval; what the client's own nick says there goes
// to the channel (or, as "/msg NICK text", to NICK alone). Actions and notices are shown so that
// no reader can take them for a said line, a command or an answer. Private messages to the
// client stay out of the room's window: the bot serves the room.
class IrcRoomLink : public QObject {
    Q_OBJECT
public:
    // Lines reach the window at most this often, so the bot reads each on its own.
    static constexpr int LineIntervalMs = 25;
    // Comings and goings after the first of a quiet spell are summed up this often.
    static constexpr int NoticeWindowMs = 3000;
    // A lag below this is everyday; past it the status says how far behind the server is.
    static constexpr qint64 ShownLagMs = 10'000;

    IrcRoomLink(ChatRoom& room, IrcSession& session, const IrcSessionConfig& where,
                QObject* parent = nullptr);

    // The connection as the person at the client should see it: connecting, joined, reconnecting
    // in N s, nick in use.
    QString status() const { return status_; }

    // "<b>" and "</b>" become IRC bold; as a server ends every format at the end of a message,
    // a bold run over several lines is opened again on each. Lines left with nothing to say
    // once the markers are gone are dropped.
    static QString toIrcFormatting(const QString& text);
    // TEXT with no colon and no control character: a notice or action built from it reads as
    // neither a nick's line nor a command nor an answer.
    static QString inert(const QString& text);

Q_SIGNALS:
    void statusChanged(const QString& status);
    void privateReceived(const QString& from, const QString& text);
    // A NOTICE from the server or a chatter, or (FROM empty) a failure the person running the
    // client must know of; neither belongs in the room.
    void noticeReceived(const QString& from, const QString& text);

private:
    bool send(const QString& to, const QString& text);
    void reportUndelivered(const QString& to, const QString& text);
    void setStatus(const QString& status);
    void onStateChanged(IrcSession::State state);
    void onNickChanged(const QString& oldNick, const QString& newNick);
    QString joinedStatus() const;

    ChatRoom& room_;
    IrcSession& session_;
    MembershipNotices notices_;
    QString server_;
    QString channel_;
    QString status_;
    QString refusal_; // the server's last reason for refusing us, until we are back in
    qint64 lagMs_ = 0;
};

} // namespace palvuro
