#include "tests/support/ProsodyServer.h"

#include <QDir>
#include <QFile>

namespace palvuro {

namespace {

const QString kServer = QStringLiteral("/usr/bin/prosody");
const QString kControl = QStringLiteral("/usr/bin/prosodyctl");

} // namespace

QString ProsodyServer::cannotRun() {
    for (const QString& program : {kServer, kControl})
        if (const QString why = ServerProcess::cannotRun(program, QStringLiteral("prosody")); !why.isEmpty())
            return why;
    return {};
}

QString ProsodyServer::roomAddress(const QString& room) {
    return room + QLatin1Char('@') + QLatin1String(RoomService);
}

bool ProsodyServer::prepare() {
    if (QFile::exists(process_.path(QStringLiteral("prosody.cfg.lua"))))
        return true;
    if (!process_.prepare(1))
        return false;
    // Nothing listens but the clients' port; no TLS is offered, so a plain password is the
    // only way in, which the server allows only because it is told to. New rooms open at once
    // (not locked until their first occupant configures them) and keep the server's default
    // history.
    const QString config = QStringLiteral(R"(pidfile = "%1/prosody.pid"
data_path = "%1/data"
certificates = "%1/certs"
log = { { levels = { min = "info" }, to = "console" } }
interfaces = { "127.0.0.1" }
c2s_interfaces = { "127.0.0.1" }
c2s_ports = { %2 }
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
VirtualHost "%3"
Component "%4" "muc"
    muc_room_locking = false
)")
                               .arg(process_.folder())
                               .arg(port())
                               .arg(QLatin1String(Domain), QLatin1String(RoomService));
    const QDir dir(process_.folder());
    return dir.mkpath(QStringLiteral("data")) && dir.mkpath(QStringLiteral("certs")) &&
           process_.writeFile(QStringLiteral("prosody.cfg.lua"), config.toUtf8());
}

bool ProsodyServer::addAccount(const QString& user) {
    return prepare() &&
           process_.runAsServerUser(
               kControl, {QStringLiteral("--config"), process_.path(QStringLiteral("prosody.cfg.lua")),
                          QStringLiteral("register"), user, QLatin1String(Domain), QLatin1String(Password)});
}

bool ProsodyServer::start(int timeoutMs) {
    return isRunning() || (prepare() && process_.start(kServer,
                                                       {QStringLiteral("-F"), QStringLiteral("--config"),
                                                        process_.path(QStringLiteral("prosody.cfg.lua"))},
                                                       timeoutMs));
}

} // namespace palvuro
