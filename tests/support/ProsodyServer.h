#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

namespace palvuro {

// A real Prosody for one test: its config and data in a temporary folder, one host with a
// multi-user chat service, listening for clients on 127.0.0.1 on a free port. On this local
// link a client may log in with a plain password and no TLS, as the tests' own XMPP chatters
// do. Accounts are made with the server's own tool. The server runs as nobody when the test
// runs as root.
class ProsodyServer {
public:
    static constexpr const char* Host = "127.0.0.1";
    static constexpr const char* Domain = "localhost";
    static constexpr const char* RoomService = "conference.localhost";
    static constexpr const char* Password = "palvuro";

    ProsodyServer();
    ~ProsodyServer();
    ProsodyServer(const ProsodyServer&) = delete;
    ProsodyServer& operator=(const ProsodyServer&) = delete;

    // Empty when a server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // ROOM's address on the multi-user chat service.
    static QString roomAddress(const QString& room);
    // Makes the account USER@localhost with Password, the server running or not.
    bool addAccount(const QString& user);
    // Starts the server and waits until it accepts connections.
    bool start(int timeoutMs = 30000);
    // Ends it at once (SIGKILL): no goodbye reaches the clients.
    void kill();
    bool isRunning() const;

    quint16 port() const { return port_; }
    QString output() { return process_.output(); }
    QString error() const { return error_; }

private:
    bool prepare();
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    ServerProcess process_;
    quint16 port_ = 0;
    bool prepared_ = false;
    QString error_;
};

} // namespace palvuro

// In a test function: skips the test, saying why, where no server can run here, and fails it
// when the server does not start.
#define START_XMPP_SERVER_OR_SKIP(server)                                                                    \
    do {                                                                                                     \
        const QString whyNot = palvuro::ProsodyServer::cannotRun();                                          \
        if (!whyNot.isEmpty())                                                                               \
            QSKIP(qPrintable(whyNot));                                                                       \
        QVERIFY2((server).start(), qPrintable((server).error()));                                            \
    } while (false)
