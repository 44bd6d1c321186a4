#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>

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

    // Empty when the server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();

    // Before start(): plain connections are told to come back over TLS (the "sts" capability),
    // and TLS ones to keep doing so for SECONDS. The policy names the TLS port to clients that
    // reach the server by a host name (it is tied to the name a client asks for).
    void announceSts(int seconds) { stsSeconds_ = seconds; }
    bool start(int timeoutMs = 20000);

    quint16 port() const { return process_.port(0); }
    quint16 tlsPort() const { return process_.port(1); }
    quint16 linkPort() const { return process_.port(2); }
    QString linkPassword() const { return QStringLiteral("palvuro-link"); }
    // The server's certificate (for 127.0.0.1 and localhost), to be trusted as a CA.
    QString certificateFile() const { return process_.certificateFile(); }
    // The server's log so far, for failure messages.
    QString log() const;
    QString error() const { return process_.error() + log(); }

private:
    bool writeConfig();

    ServerProcess process_;
    int stsSeconds_ = 0;
};

} // namespace palvuro
