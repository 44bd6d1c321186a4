#include "tests/support/IrcServer.h"

#include <QFile>
#include <QStandardPaths>

namespace palvuro {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/ircd-hybrid");

} // namespace

IrcServer::IrcServer() = default;

IrcServer::~IrcServer() = default;

QString IrcServer::cannotRun() {
    if (const QString why = ServerProcess::cannotRun(kServerBinary, QStringLiteral("ircd-hybrid"));
        !why.isEmpty())
        return why;
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        return QStringLiteral("openssl is missing: no certificate for the TLS port");
    return {};
}

QString IrcServer::path(const QString& name) const {
    return dir_.filePath(name);
}

QString IrcServer::certificateFile() const {
    return path(QStringLiteral("cert.pem"));
}

bool IrcServer::prepare() {
    if (prepared_)
        return true;
    QList<quint16> ports;
    if (!ServerProcess::prepareFolder(dir_, 2, &ports, &error_))
        return false;
    port_ = ports.at(0);
    tlsPort_ = ports.at(1);
    prepared_ = writeConfig();
    return prepared_;
}

bool IrcServer::writeConfig() {
    // Everything not named here keeps the server's defaults, its flood limits included: a client
    // that passes this server's pacing passes a real network's.
    const QString config =
        QStringLiteral(R"(serverinfo {
    name = "palvuro.test";
    sid = "0PT";
    description = "Palvuro test server";
    network_name = "PalvuroTest";
    network_description = "Palvuro test network";
    hub = no;
    max_nick_length = 15;
    rsa_private_key_file = "%1/key.pem";
    tls_certificate_file = "%1/cert.pem";
};
admin { name = "test"; description = "test"; email = "<test@localhost>"; };
class {
    name = "users";
    ping_time = 90 seconds;
    number_per_ip_local = 500;
    number_per_ip_global = 500;
    max_number = 500;
    sendq = 100 kbytes;
    recvq = 2560 bytes;
};
listen {
    host = "127.0.0.1";
    port = %2;
    flags = tls;
    host = "127.0.0.1";
    port = %3;
};
auth { user = "*@*"; class = "users"; };
operator {
    name = "%5";
    user = "*@127.0.0.1";
    password = "%6";
    encrypted = no;
    class = "users";
    flags = kill;
};
general {
    throttle_count = 0;
    throttle_time = 0;
    disable_auth = yes;
%4};
modules {
    path = "/usr/lib/ircd-hybrid/modules";
    path = "/usr/lib/ircd-hybrid/modules/autoload";
};
log { use_logging = no; };
)")
            .arg(dir_.path())
            .arg(port_)
            .arg(tlsPort_)
            .arg(channelFloodCount_ > 0
                     ? QStringLiteral("    default_floodcount = %1;\n").arg(channelFloodCount_)
                     : QString())
            .arg(QLatin1String(OperName), QLatin1String(OperPassword));
    QFile file(path(QStringLiteral("ircd.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write the server's config: ") + file.errorString();
        return false;
    }
    return true;
}

bool IrcServer::start(int timeoutMs) {
    if (isRunning())
        return true;
    if (!prepare())
        return false;
    QStringList args{QStringLiteral("-foreground"), QStringLiteral("-configfile"),
                     path(QStringLiteral("ircd.conf"))};
    // The databases and the pid file default to system folders nobody may not write.
    for (const char* option : {"pidfile", "logfile", "klinefile", "dlinefile", "xlinefile", "resvfile"})
        args << QLatin1Char('-') + QLatin1String(option) << path(QLatin1String(option));
    if (!process_.start(kServerBinary, args, dir_.path(), {port_, tlsPort_}, timeoutMs)) {
        error_ = process_.error();
        return false;
    }
    return true;
}

void IrcServer::kill() {
    process_.kill();
}

bool IrcServer::isRunning() const {
    return process_.isRunning();
}

} // namespace palvuro
