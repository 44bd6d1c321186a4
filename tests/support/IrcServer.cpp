#include "tests/support/IrcServer.h"

namespace palvuro {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/ircd-hybrid");

// Everything not named here keeps the server's defaults, its flood limits included: a client
// that passes this server's pacing passes a real network's.
const QString kConfig = QStringLiteral(R"(serverinfo {
    name = "palvuro.test";
    sid = "0PT";
    description = "Palvuro test server";
    network_name = "PalvuroTest";
    network_description = "Palvuro test network";
    hub = no;
    max_nick_length = 15;
    rsa_private_key_file = "@FOLDER@/key.pem";
    tls_certificate_file = "@FOLDER@/cert.pem";
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
    port = @PORT0@;
    flags = tls;
    host = "127.0.0.1";
    port = @PORT1@;
};
auth { user = "*@*"; class = "users"; };
operator {
    name = "@OPER_NAME@";
    user = "*@127.0.0.1";
    password = "@OPER_PASSWORD@";
    encrypted = no;
    class = "users";
    flags = kill;
};
general {
    throttle_count = 0;
    throttle_time = 0;
    disable_auth = yes;
    default_floodcount = @FLOOD_COUNT@;
};
modules {
    path = "/usr/lib/ircd-hybrid/modules";
    path = "/usr/lib/ircd-hybrid/modules/autoload";
};
log { use_logging = no; };
)");

} // namespace

QString IrcServer::cannotRun() {
    return ServerProcess::cannotRun(kServerBinary, QStringLiteral("ircd-hybrid"), true);
}

bool IrcServer::start(int timeoutMs) {
    QStringList args{QStringLiteral("-foreground"), QStringLiteral("-configfile"),
                     path(QStringLiteral("ircd.conf"))};
    // The databases and the pid file default to system folders nobody may not write.
    for (const char* option : {"pidfile", "logfile", "klinefile", "dlinefile", "xlinefile", "resvfile"})
        args << QLatin1Char('-') + QLatin1String(option) << path(QLatin1String(option));
    return prepare(2, true) &&
           writeFile(QStringLiteral("ircd.conf"), kConfig,
                     {{QStringLiteral("OPER_NAME"), QLatin1String(OperName)},
                      {QStringLiteral("OPER_PASSWORD"), QLatin1String(OperPassword)},
                      {QStringLiteral("FLOOD_COUNT"), QString::number(channelFloodCount_)}}) &&
           launch(kServerBinary, args, timeoutMs);
}

} // namespace palvuro
