#pragma once

#include "irc/IrcSessionConfig.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace palvuro {

class IrcChannel;

// One channel on one IRC server, kept joined: the connection (IrcTransport), who we are on it
// (IrcRegistration), the channel (IrcChannel) and a paced send queue. It knows nothing of
// windows: the room sees only who said what, notices of who came and went, and the
// connection's state.
class IrcSession : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Registering, Joined, Reconnecting };
    Q_ENUM(State)

    explicit IrcSession(IrcSessionConfig config, QObject* parent = nullptr);
    ~IrcSession() override;

    // Connects, registers and joins; from then on reconnects by itself until stop().
    void start();
    // Leaves with a QUIT when registered; closed() says when the connection is gone, within a
    // second.
    void stop();

    State state() const;
    QString nick() const;      // as the server's welcome named us
    QStringList users() const; // the channel's members, as the server listed them
    // Who comes and goes, is kicked or changes nick, as the channel's own signals tell it.
    const IrcChannel& channel() const;

    // Queues TEXT for the channel or for NICK alone: one PRIVMSG per non-empty line, a long
    // line split between whole characters at the server's byte budget; CR, LF and NUL never
    // reach the socket. While not joined nothing is queued and the answer is false: a line
    // that could not be said now is never said late. A private text is also refused (false)
    // when too many private lines wait, and answered by the same text still waiting for NICK.
    bool say(const QString& text);
    bool sayTo(const QString& nick, const QString& text);

Q_SIGNALS:
    void stateChanged(palvuro::IrcSession::State state);
    // After stop(): the connection is closed, our QUIT delivered or given up on.
    void closed();
    void reconnectIn(int seconds);
    // The server refused us (ERROR, a ban, a wrong server password), in its own words; the next
    // attempt waits longer.
    void refused(const QString& reason);
    // How long the server took, or is taking, to answer our PING.
    void lagMeasured(qint64 ms);
    // The session stopped for good: REASON says what the person running the client must change
    // (the account, the nick, ...).
    void gaveUp(const QString& reason);
    // Connected but not in the channel: the server refused our JOIN or we were kicked, for WHY
    // (the server's or the kicker's words); the next JOIN goes in SECONDS.
    void outsideChannel(const QString& why, int seconds);
    void nickInUse(const QString& wanted, const QString& instead);
    // Texts arrive decoded (UTF-8, else Windows-1252) with formatting codes stripped.
    void channelMessage(const QString& nick, const QString& text);
    void channelAction(const QString& nick, const QString& text); // CTCP ACTION
    void privateMessage(const QString& nick, const QString& text);
    void privateAction(const QString& nick, const QString& text); // CTCP ACTION to us alone
    // A NOTICE from a server or a chatter (never a CTCP reply).
    void notice(const QString& from, const QString& text);
    // Lines that went nowhere: dropped from the queue because the connection was lost or we
    // left the channel (they are never sent later), or refused by the server.
    void undelivered(const QString& target, const QString& text);
    // Something the person running the client must know: a certificate refused, the account
    // not accepted, the channel refused. Never holds the password.
    void failure(const QString& reason);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
