#include "tests/support/IrcServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace palvuro {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/ircd-hybrid");
const QString kSetpriv = QStringLiteral("/usr/bin/setpriv");

bool runningAsRoot() {
    return ::geteuid() == 0;
}

// A port nobody listens on right now. The server binds it a moment later; another program
// taking it in between is unlikely enough for a test.
quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QString::fromLatin1(IrcServer::Host), port);
    const bool ok = socket.waitForConnected(200);
    socket.abort();
    return ok;
}

// Gives the folder and everything in it to nobody, so that the server started as nobody can
// read its config and key and write its databases.
bool giveToNobody(const QString& folder, const QStringList& files) {
    const passwd* user = ::getpwnam("nobody");
    const group* grp = ::getgrnam("nogroup");
    if (!user || !grp)
        return false;
    QStringList paths{folder};
    for (const QString& name : files)
        paths << folder + QLatin1Char('/') + name;
    for (const QString& full : paths) {
        if (::chown(QFile::encodeName(full).constData(), user->pw_uid, grp->gr_gid) != 0)
            return false;
    }
    return true;
}

} // namespace

IrcServer::IrcServer() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

IrcServer::~IrcServer() {
    kill();
}

QString IrcServer::cannotRun() {
    if (!QFileInfo(kServerBinary).isExecutable())
        return QStringLiteral("ircd-hybrid is not installed (tools/install-deps.sh installs it)");
    if (runningAsRoot() && !QFileInfo(kSetpriv).isExecutable())
        return QStringLiteral("setpriv is missing: ircd-hybrid cannot be started as nobody");
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
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return false;
    }
    port_ = freePort();
    tlsPort_ = freePort();
    if (port_ == 0 || tlsPort_ == 0 || port_ == tlsPort_) {
        error_ = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    if (!makeCertificate() || !writeConfig())
        return false;
    if (runningAsRoot() && !giveToNobody(dir_.path(), {QStringLiteral("ircd.conf"), QStringLiteral("key.pem"),
                                                       QStringLiteral("cert.pem")})) {
        error_ = QStringLiteral("cannot give the server's folder to nobody");
        return false;
    }
    prepared_ = true;
    return true;
}

bool IrcServer::makeCertificate() {
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                   QStringLiteral("-keyout"), path(QStringLiteral("key.pem")), QStringLiteral("-out"),
                   certificateFile()});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        error_ = QStringLiteral("openssl req failed: ") + QString::fromLocal8Bit(openssl.readAll());
        return false;
    }
    return true;
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
    number_per_ip_local = 200;
    number_per_ip_global = 200;
    max_number = 400;
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
                     : QString());
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
    process_.setWorkingDirectory(dir_.path());
    if (runningAsRoot()) {
        args.prepend(kServerBinary);
        args = QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups")} +
               args;
        process_.start(kSetpriv, args);
    } else {
        process_.start(kServerBinary, args);
    }
    if (!process_.waitForStarted(10000)) {
        error_ = QStringLiteral("ircd-hybrid did not start: ") + process_.errorString();
        return false;
    }
    return waitUntilListening(timeoutMs);
}

bool IrcServer::waitUntilListening(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!(accepts(port_) && accepts(tlsPort_))) {
        if (!isRunning()) {
            error_ = QStringLiteral("ircd-hybrid ended: ") + QString::fromLocal8Bit(process_.readAll());
            return false;
        }
        if (deadline.hasExpired()) {
            error_ = QStringLiteral("ircd-hybrid does not listen on %1 and %2").arg(port_).arg(tlsPort_);
            kill();
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

void IrcServer::kill() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(10000);
}

bool IrcServer::isRunning() const {
    return process_.state() != QProcess::NotRunning;
}

} // namespace palvuro
