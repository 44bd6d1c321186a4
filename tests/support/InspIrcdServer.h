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
class InspIrcdServer : public ServerProcess {
public:
    static constexpr const char* Name = "irc.palvuro.test";
    static constexpr const char* ServicesName = "services.palvuro.test";
    static constexpr const char* LinkPassword = "palvuro-link";

    // Empty when the server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();

    // Before start(): plain connections are told to come back over TLS (the "sts" capability),
    // and TLS ones to keep doing so for SECONDS. The policy names the TLS port to clients that
    // reach the server by a host name (it is tied to the name a client asks for).
    void announceSts(int seconds) { stsSeconds_ = seconds; }
    // False with error() saying why, the server's log included.
    bool start(int timeoutMs = 20000);

    quint16 tlsPort() const { return port(1); }
    quint16 linkPort() const { return port(2); }

private:
    int stsSeconds_ = 0;
};

} // namespace palvuro
