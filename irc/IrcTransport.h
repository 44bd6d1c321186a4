#pragma once

#include "irc/IrcBackoff.h"
#include "irc/IrcMessage.h"
#include "irc/IrcSessionConfig.h"

#include <QObject>
#include <QPointer>
#include <QSslConfiguration>

#include <algorithm>

class QSslSocket;

namespace palvuro {

// The connection under a session: the socket and its TLS, whole lines in and out, the ping
// watchdog and the waits between attempts. It knows no command but PING.
class IrcTransport : public QObject {
    Q_OBJECT
public:
    explicit IrcTransport(const IrcSessionConfig& config, QObject* parent = nullptr);
    ~IrcTransport() override;

    // A new attempt; an older connection is dropped without a word.
    void open();
    // Quietly: the socket's own signals never report a loss we caused.
    void drop();
    // Lets lines already written (a QUIT) leave before the socket closes: with SERVERCLOSES
    // the server is left to close the connection, as it does after a QUIT, so that nothing it
    // still sends turns our close into a reset that could lose the QUIT; else the socket closes
    // once drained. After GRACEMS it is closed regardless. closed() follows in every case.
    void closeGracefully(bool serverCloses, int graceMs);
    bool isOpen() const { return socket_ != nullptr; }
    void write(const QByteArray& line);

    // The server's welcome: the attempt's time limit is met, and from now on a silent server
    // is asked whether it is still there.
    void registered();
    // In the channel: after a steady while there, the reconnect waits start over.
    void joined();
    // Why the server is about to close the connection, for the wait before the next attempt.
    void refusedBecause(IrcBackoff::Cause cause) { cause_ = std::max(cause_, cause); }
    // Every timer stopped: nothing happens until open().
    void halt();
    // The next attempt after the backoff's wait, in ms.
    int retryLater();
    void resetBackoff() { backoff_.reset(); }

Q_SIGNALS:
    void opened(); // ready for the first line (after the TLS handshake, if any)
    void lineReceived(const palvuro::IrcMessage& message);
    void lost(const QString& reason); // the connection is unusable; it is still open until drop()
    void failure(const QString& reason);
    void retryDue();
    // The connection closeGracefully() let go of is closed (at once when there was none).
    void closed();
    // How long our PING has gone unanswered, every few seconds while it does, then how long its
    // answer took.
    void lagMeasured(qint64 ms);

private:
    QSslConfiguration tlsConfiguration();
    void addClientCertificate(QSslConfiguration& tls);
    void ready();
    void readLines();
    void watchdogFired();
    void answered(const IrcMessage& pong);

    const IrcSessionConfig& config_;
    IrcBackoff backoff_;
    QPointer<QSslSocket> socket_;
    QByteArray inbox_;
    bool discardingLine_ = false;
    bool awaitingPong_ = false;
    bool registered_ = false;
    IrcBackoff::Cause cause_ = IrcBackoff::Cause::Lost;
    qint64 pingSentMs_ = -1;
    IrcTimer watchdog_;     // idle PING, then the PING's deadline
    IrcTimer attemptTimer_; // connecting and registering must end in the welcome
    IrcTimer retryTimer_;
    IrcTimer lagTimer_;
    IrcTimer steadyTimer_;
};

} // namespace palvuro
