#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

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

    IrcServer();
    ~IrcServer();
    IrcServer(const IrcServer&) = delete;
    IrcServer& operator=(const IrcServer&) = delete;

    // Empty when a server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // Starts the server and waits until both ports accept connections.
    bool start(int timeoutMs = 20000);
    // Ends it at once (SIGKILL): no goodbye reaches the clients.
    void kill();
    bool isRunning() const;

    quint16 port() const { return port_; }
    quint16 tlsPort() const { return tlsPort_; }
    // How many lines one channel may hear a second before the server drops the rest, whoever
    // sends them (the server's default is 10); set before start(). Only a benchmark that must
    // not count the server's throttling of a busy channel as the client's loss raises it: a
    // client's own pacing still meets the server's default per-client limits.
    void setChannelFloodCount(int lines) { channelFloodCount_ = lines; }
    // The server's certificate, to be trusted as a CA by TLS clients.
    QString certificateFile() const;
    QString error() const { return error_; }

private:
    bool prepare();
    bool writeConfig();
    QString path(const QString& name) const;

    QTemporaryDir dir_;
    ServerProcess process_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    bool prepared_ = false;
    int channelFloodCount_ = 0; // 0: the server's default
    QString error_;
};

} // namespace palvuro

// In a test function: skips the test, saying why, where no server can run here, and fails it
// when the server does not start.
#define START_IRC_SERVER_OR_SKIP(server)                                                                     \
    do {                                                                                                     \
        const QString whyNot = palvuro::IrcServer::cannotRun();                                              \
        if (!whyNot.isEmpty())                                                                               \
            QSKIP(qPrintable(whyNot));                                                                       \
        QVERIFY2((server).start(), qPrintable((server).error()));                                            \
    } while (false)
