#pragma once

#include "irc/IrcMessage.h"
#include "irc/IrcSessionConfig.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

namespace palvuro {

// How a part of the session puts one line on the wire.
using IrcSendFunction = std::function<void(const QByteArray& command, const QList<QByteArray>& params)>;

// Who we are on the server: capability negotiation, the SASL login, our nick (a stand-in while
// another holds it, and taking it back) and what the server says of itself in ISUPPORT.
class IrcRegistration : public QObject {
    Q_OBJECT
public:
    IrcRegistration(const IrcSessionConfig& config, IrcSendFunction send, QObject* parent = nullptr);

    // A fresh connection: everything learnt on the last one is forgotten, the first lines sent.
    void begin();
    // The connection is gone: the next one starts over.
    void reset();
    void stopTimers();
    // Every line from the server passes here; the ones that are not about us are ignored.
    void handle(const IrcMessage& message);

    bool registered() const { return registered_; }
    QString nick() const { return nick_; }
    bool isUs(const QByteArray& who) const;
    // The bytes a server puts before our PRIVMSG when it relays it: ":nick!user@host ".
    int prefixBytes() const;
    void setUserHost(const QByteArray& userHost) { userHost_ = userHost; }

Q_SIGNALS:
    void welcomed();
    void nickInUse(const QString& wanted, const QString& instead);
    void failure(const QString& reason);
    void gaveUp(const QString& reason); // registration cannot succeed on this connection

private:
    void handleNumeric(int numeric, const IrcMessage& m);
    void handleCap(const IrcMessage& m);
    void requestCaps();
    void handleAuthenticate(const IrcMessage& m);
    void finishSasl(int numeric);
    void reportAccountFailure(const QString& reason);
    void welcome(const IrcMessage& m);
    void nickRefused(const IrcMessage& m);
    void reclaimNick();
    void readSupport(const IrcMessage& m);
    void watchNick(const QByteArray& command);
    bool namesWantedNick(const IrcMessage& m) const;
    void handleNick(const IrcMessage& m);
    QString wanted() const;
    bool usingStandIn() const;

    const IrcSessionConfig& config_;
    IrcSendFunction send_;
    bool registered_ = false;
    QString nick_;
    int nickAttempt_ = 0;
    int nickLength_;
    bool nickLengthKnown_ = false;
    QByteArray userHost_; // "user@host" as the server shows us; empty until known
    QSet<QByteArray> capsOffered_;
    bool saslRunning_ = false;
    QTimer nickRetryTimer_;
};

} // namespace palvuro
