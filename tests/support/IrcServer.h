#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>

namespace palvuro {

// A real ircd-hybrid for one test: its config, a self-signed certificate and its databases in a
// temporary folder, listening on 127.0.0.1 on two free ports (plain and TLS). Quick reconnects
// and crowds of up to 500 clients from 127.0.0.1 are allowed, as every chatter of a test comes
// from there; the flood limits are the server's defaults.
class IrcServer : public ServerProcess {
public:
    // An operator any chatter may become ("OPER name password"), to end another's connection.
    static constexpr const char* OperName = "palvuro";
    static constexpr const char* OperPassword = "palvuro";

    // Empty when a server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // Starts the server and waits until both ports accept connections.
    bool start(int timeoutMs = 20000);

    quint16 tlsPort() const { return port(1); }
    // How many lines one channel may hear a second before the server drops the rest, whoever
    // sends them (the server's default is 10); set before start(). Only a benchmark that must
    // not count the server's throttling of a busy channel as the client's loss raises it: a
    // client's own pacing still meets the server's default per-client limits.
    void setChannelFloodCount(int lines) { channelFloodCount_ = lines; }

private:
    int channelFloodCount_ = 10; // the server's default
};

} // namespace palvuro

#define START_IRC_SERVER_OR_SKIP(server) START_SERVER_OR_SKIP(server)
