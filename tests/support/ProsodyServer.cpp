#include "tests/support/ProsodyServer.h"

#include <QDir>
#include <QFile>

namespace palvuro {

namespace {

const QString kServer = QStringLiteral("/usr/bin/prosody");
const QString kControl = QStringLiteral("/usr/bin/prosodyctl");

} // namespace

ProsodyServer::ProsodyServer() = default;

ProsodyServer::~ProsodyServer() = default;

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
    if (prepared_)
        return true;
    port_ = ServerProcess::freePort();
    if (!dir_.isValid() || port_ == 0) {
        error_ = QStringLiteral("no temporary folder or no free port");
        return false;
    }
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
                               .arg(dir_.path())
                               .arg(port_)
                               .arg(QLatin1String(Domain), QLatin1String(RoomService));
    QFile file(path(QStringLiteral("prosody.cfg.lua")));
    if (!QDir(dir_.path()).mkpath(QStringLiteral("data")) ||
        !QDir(dir_.path()).mkpath(QStringLiteral("certs")) || !file.open(QIODevice::WriteOnly) ||
        file.write(config.toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write the server's config: ") + file.errorString();
        return false;
    }
    prepared_ = true;
    return true;
}

bool ProsodyServer::addAccount(const QString& user) {
    return prepare() &&
           ServerProcess::runAsServerUser(
               kControl,
               {QStringLiteral("--config"), path(QStringLiteral("prosody.cfg.lua")),
                QStringLiteral("register"), user, QLatin1String(Domain), QLatin1String(Password)},
               dir_.path(), &error_);
}

bool ProsodyServer::start(int timeoutMs) {
    if (isRunning())
        return true;
    if (!prepare())
        return false;
    if (!process_.start(
            kServer,
            {QStringLiteral("-F"), QStringLiteral("--config"), path(QStringLiteral("prosody.cfg.lua"))},
            dir_.path(), {port_}, timeoutMs)) {
        error_ = process_.error();
        return false;
    }
    return true;
}

void ProsodyServer::kill() {
    process_.kill();
}

bool ProsodyServer::isRunning() const {
    return process_.isRunning();
}

} // namespace palvuro
