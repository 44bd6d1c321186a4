#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>

namespace palvuro {

// A real ircd-hybrid for one test: its config, a self-signed certificate and its databases in a
// temporary folder, listening on 127.0.0.1 on two free ports (plain and TLS). Quick reconnects
// and crowds of up to 500 clients from 127.0.0.1 are allowed, as every chatter of a test comes
// from there; the flood limits are the server's defaults. The server refuses to
// run as root, so a root test starts it as nobody. kill() and start() again keep the ports, as a
// crashed and restarted server would.
class IrcServer {
public:
    static constexpr const char* Host = "127.0.0.1";
    // An operator any chatter may become ("OPER name password"), to end another's connection.
    static constexpr const char* OperName = "palvuro";
    static constexpr const char* OperPassword = "palvuro";

    // Empty when a server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // Starts the server and waits until both ports accept connections.
    bool start(int timeoutMs = 20000);
    // Ends it at once (SIGKILL): no goodbye reaches the clients.
    void kill() { process_.kill(); }
    bool isRunning() const { return process_.isRunning(); }

    quint16 port() const { return process_.port(0); }
    quint16 tlsPort() const { return process_.port(1); }
    // How many lines one channel may hear a second before the server drops the rest, whoever
    // sends them (the server's default is 10); set before start(). Only a benchmark that must
    // not count the server's throttling of a busy channel as the client's loss raises it: a
    // client's own pacing still meets the server's default per-client limits.
    void setChannelFloodCount(int lines) { channelFloodCount_ = lines; }
    // The server's certificate, to be trusted as a CA by TLS clients.
    QString certificateFile() const { return process_.certificateFile(); }
    QString error() const { return process_.error(); }

private:
    bool writeConfig();

    ServerProcess process_;
    int channelFloodCount_ = 0; // 0: the server's default
};

} // namespace palvuro

#define START_IRC_SERVER_OR_SKIP(server) START_SERVER_OR_SKIP(server)
