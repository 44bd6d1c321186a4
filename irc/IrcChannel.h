#pragma once

#include "irc/IrcJoinPolicy.h"
#include "irc/IrcRegistration.h"

#include <QList>
#include <QObject>
#include <QStringList>

namespace palvuro {

// Our one channel: joining it and getting back in (as IrcJoinPolicy allows), and who else is
// in it.
class IrcChannel : public QObject {
    Q_OBJECT
public:
    IrcChannel(const IrcSessionConfig& config, const IrcRegistration& registration, IrcSendFunction send,
               QObject* parent = nullptr);

    void join();
    // The connection is gone: so is everything we knew of the channel.
    void forget();
    void stopTimers();
    void handle(const IrcMessage& message);

    bool isChannel(const QByteArray& target) const;
    QStringList users() const;

Q_SIGNALS:
    void entered(const QByteArray& userHost);
    void left(); // parted or kicked: a rejoin is on its way
    // We are not in the channel for WHY (the server's reason for refusing us, or a kick); the
    // next JOIN goes in RETRYMS.
    void outside(const QString& why, int retryMs);
    void failure(const QString& reason);

    void joined(const QString& nick);
    void parted(const QString& nick, const QString& reason);
    void quit(const QString& nick, const QString& reason);
    void kicked(const QString& nick, const QString& by, const QString& reason);
    void nickChanged(const QString& oldNick, const QString& newNick);
    void usersChanged();

private:
    void handleNumeric(int numeric, const IrcMessage& m);
    void handleJoin(const IrcMessage& m);
    void handlePart(const IrcMessage& m);
    void handleQuit(const IrcMessage& m);
    void handleKick(const IrcMessage& m);
    void handleNick(const IrcMessage& m);
    void joinRefused(int numeric, const IrcMessage& m);
    void handleInvite(const IrcMessage& m);
    void handleMode(const IrcMessage& m);
    void banChanged(const QByteArray& mask, bool set);
    void leave(int rejoinMs);
    void addUser(const QByteArray& who);
    bool removeUser(const QByteArray& who);
    void collectNames(const IrcMessage& m);
    void namesComplete();

    const IrcSessionConfig& config_;
    const IrcRegistration& registration_;
    IrcSendFunction send_;
    QList<QByteArray> users_; // in the server's order
    QList<QByteArray> namesArriving_;
    QList<QByteArray> bansOnUs_; // masks set on our channel that cover us, while we were in it
    IrcTimer rejoinTimer_;
    IrcJoinPolicy policy_;
    bool joining_ = false; // a JOIN went out and the server has not answered it yet
};

} // namespace palvuro
