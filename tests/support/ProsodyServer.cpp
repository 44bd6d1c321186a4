#include "tests/support/ProsodyServer.h"

#include <QDir>

namespace palvuro {

namespace {

const QString kServer = QStringLiteral("/usr/bin/prosody");
const QString kControl = QStringLiteral("/usr/bin/prosodyctl");

// Nothing listens but the clients' port; no TLS is offered, so a plain password is the only way
// in, which the server allows only because it is told to. New rooms open at once (not locked
// until their first occupant configures them) and keep the server's default history.
const QString kConfig = QStringLiteral(R"(pidfile = "@FOLDER@/prosody.pid"
data_path = "@FOLDER@/data"
certificates = "@FOLDER@/certs"
log = { { levels = { min = "info" }, to = "console" } }
interfaces = { "127.0.0.1" }
c2s_interfaces = { "127.0.0.1" }
c2s_ports = { @PORT0@ }
c2s_direct_tls_ports = { }
s2s_ports = { }
component_ports = { }
http_ports = { }
https_ports = { }
c2s_require_encryption = false
s2s_require_encryption = false
allow_unencrypted_plain_auth = true
authentication = "internal_plain"
modules_enabled = { "roster", "saslauth", "disco", "ping", "posix" }
VirtualHost "@DOMAIN@"
Component "@ROOM_SERVICE@" "muc"
    muc_room_locking = false
)");

} // namespace

QString ProsodyServer::cannotRun() {
    for (const QString& program : {kServer, kControl})
        if (const QString why = ServerProcess::cannotRun(program, QStringLiteral("prosody")); !why.isEmpty())
            return why;
    return {};
}

// The config, written once: accounts are made before the server starts.
bool ProsodyServer::writeConfig() {
    const QDir dir(folder());
    return dir.exists(QStringLiteral("prosody.cfg.lua")) ||
           (prepare(1) && dir.mkpath(QStringLiteral("data")) && dir.mkpath(QStringLiteral("certs")) &&
            writeFile(QStringLiteral("prosody.cfg.lua"), kConfig,
                      {{QStringLiteral("DOMAIN"), QLatin1String(Domain)},
                       {QStringLiteral("ROOM_SERVICE"), QLatin1String(RoomService)}}));
}

bool ProsodyServer::addAccount(const QString& user) {
    return writeConfig() &&
           runAsServerUser(kControl, {QStringLiteral("--config"), path(QStringLiteral("prosody.cfg.lua")),
                                      QStringLiteral("register"), user, QLatin1String(Domain),
                                      QLatin1String(Password)});
}

bool ProsodyServer::start(int timeoutMs) {
    return writeConfig() &&
           launch(kServer,
                  {QStringLiteral("-F"), QStringLiteral("--config"), path(QStringLiteral("prosody.cfg.lua"))},
                  timeoutMs);
}

} // namespace palvuro
