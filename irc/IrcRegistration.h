#pragma once

#include "irc/IrcClock.h"
#include "irc/IrcMessage.h"
#include "irc/IrcNameRules.h"
#include "irc/IrcSessionConfig.h"

#include <QHash>
#include <QObject>
#include <QSet>

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
    // The server's rules for comparing and telling apart names, as it announced them.
    const IrcNameRules& names() const { return names_; }
    // The bytes a server puts before our PRIVMSG when it relays it: ":nick!user@host ".
    int prefixBytes() const;
    void setUserHost(const QByteArray& userHost) { userHost_ = userHost; }
    // "nick!user@host" as a ban mask would be matched against; "*@*" while the server has not
    // shown us: only a mask that covers every user and host covers that.
    QByteArray fullName() const;
    // Why the account cannot be logged in to over this connection (empty when it can): a
    // password is never sent in plain text, and a client certificate only travels with TLS.
    QString loginRefusedWithoutTls() const;

Q_SIGNALS:
    void welcomed();
    void nickInUse(const QString& wanted, const QString& instead);
    void failure(const QString& reason);
    void gaveUp(const QString& reason); // this connection cannot register; another one may
    void fatal(const QString& reason);  // no connection can: the person running us must act
    // This server offers no login now; while its services are down it may refuse us for a while.
    void loginUnavailable(const QString& reason);
    // The server asks for TLS on PORT (seen on a plain connection), or, on a TLS one, that we
    // keep using TLS for SECONDS (0: forget it).
    void upgradeToTls(quint16 port);
    void keepTls(qint64 seconds);

private:
    void handleNumeric(int numeric, const IrcMessage& m);
    void handleCap(const IrcMessage& m);
    void capsOffered(const QList<QByteArray>& caps, bool more);
    bool followSts();
    void request(const QByteArray& cap);
    void acknowledged(const QList<QByteArray>& caps);
    void refused(const QList<QByteArray>& caps);
    void endNegotiation();
    bool wantsLogin() const;
    QByteArray mechanism() const;
    void handleAuthenticate(const IrcMessage& m);
    void finishSasl(int numeric, const IrcMessage& m);
    void loginFailed(const QString& reason);
    void noLoginOffered();
    void welcome(const IrcMessage& m);
    void nickRefused(int numeric, const IrcMessage& m);
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
    IrcNameRules names_;
    QByteArray userHost_;                   // "user@host" as the server shows us; empty until known
    QHash<QByteArray, QByteArray> offered_; // capability -> its value
    QSet<QByteArray> requested_;            // asked for, not yet answered
    QSet<QByteArray> enabled_;
    bool capsSeen_ = false;
    bool negotiationEnded_ = false;
    bool saslRunning_ = false;
    bool loginSettled_ = false; // logged in, or the failure already reported
    IrcTimer nickRetryTimer_;
};

} // namespace palvuro
