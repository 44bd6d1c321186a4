#include "tests/support/IrcServer.h"

namespace palvuro {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/ircd-hybrid");

} // namespace

QString IrcServer::cannotRun() {
    return ServerProcess::cannotRun(kServerBinary, QStringLiteral("ircd-hybrid"), true);
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
            .arg(process_.folder())
            .arg(port())
            .arg(tlsPort())
            .arg(channelFloodCount_ > 0
                     ? QStringLiteral("    default_floodcount = %1;\n").arg(channelFloodCount_)
                     : QString())
            .arg(QLatin1String(OperName), QLatin1String(OperPassword));
    return process_.writeFile(QStringLiteral("ircd.conf"), config.toUtf8());
}

bool IrcServer::start(int timeoutMs) {
    if (isRunning())
        return true;
    if (!process_.prepare(2, true) || !writeConfig())
        return false;
    QStringList args{QStringLiteral("-foreground"), QStringLiteral("-configfile"),
                     process_.path(QStringLiteral("ircd.conf"))};
    // The databases and the pid file default to system folders nobody may not write.
    for (const char* option : {"pidfile", "logfile", "klinefile", "dlinefile", "xlinefile", "resvfile"})
        args << QLatin1Char('-') + QLatin1String(option) << process_.path(QLatin1String(option));
    return process_.start(kServerBinary, args, timeoutMs);
}

} // namespace palvuro
