#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

namespace palvuro {

// A real InspIRCd for one test, a modern server where ircd-hybrid is an old one: IRCv3
// capabilities, SASL handed on to services, channel modes +j (join throttle) and +R
// (registered users only), ASCII case mapping. Its config, a self-signed certificate and its
// log live in a temporary folder; it listens on 127.0.0.1 on free ports: plain, TLS (asking
// for client certificates, whose SHA-256 fingerprints the services see) and one where services
// link (AnopeServices). Flood limits are the server's defaults; many connections from
// 127.0.0.1 are allowed.
class InspIrcdServer {
public:
    static constexpr const char* Name = "irc.palvuro.test";
    static constexpr const char* ServicesName = "services.palvuro.test";

    InspIrcdServer();
    ~InspIrcdServer();

    // Empty when the server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();

    // Before start(): plain connections are told to come back over TLS (the "sts" capability),
    // and TLS ones to keep doing so for SECONDS. The policy names the TLS port to clients that
    // reach the server by a host name (it is tied to the name a client asks for).
    void announceSts(int seconds) { stsSeconds_ = seconds; }
    bool start(int timeoutMs = 20000);

    quint16 port() const { return port_; }
    quint16 tlsPort() const { return tlsPort_; }
    quint16 linkPort() const { return linkPort_; }
    QString linkPassword() const { return QStringLiteral("palvuro-link"); }
    // The server's certificate (for 127.0.0.1 and localhost), to be trusted as a CA.
    QString certificateFile() const;
    // The server's log so far, for failure messages.
    QString log() const;
    QString error() const { return error_; }

private:
    bool prepare();
    bool writeConfig();
    QString path(const QString& name) const;

    QTemporaryDir dir_;
    ServerProcess process_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    quint16 linkPort_ = 0;
    int stsSeconds_ = 0;
    bool prepared_ = false;
    QString error_;
};

} // namespace palvuro
