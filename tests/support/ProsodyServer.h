#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>

namespace palvuro {

// A real Prosody for one test: its config and data in a temporary folder, one host with a
// multi-user chat service, listening for clients on 127.0.0.1 on a free port. On this local
// link a client may log in with a plain password and no TLS, as the tests' own XMPP chatters
// do. Accounts are made with the server's own tool.
class ProsodyServer : public ServerProcess {
public:
    static constexpr const char* Domain = "localhost";
    static constexpr const char* RoomService = "conference.localhost";
    static constexpr const char* Password = "palvuro";

    // Empty when a server can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // Makes the account USER@localhost with Password, the server running or not.
    bool addAccount(const QString& user);
    // Starts the server and waits until it accepts connections.
    bool start(int timeoutMs = 30000);

private:
    bool writeConfig();
};

} // namespace palvuro

#define START_XMPP_SERVER_OR_SKIP(server) START_SERVER_OR_SKIP(server)
