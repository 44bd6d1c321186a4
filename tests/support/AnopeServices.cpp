#include "tests/support/AnopeServices.h"

#include "tests/support/InspIrcdServer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSslCertificate>

namespace palvuro {

namespace {

const QString kServices = QStringLiteral("/usr/sbin/anope");
const QString kDescription = QStringLiteral("Palvuro test services");

// Only NickServ and what SASL needs; registrations need no mail. Passwords are kept as given
// ("plain:"), so the test can write accounts into the database itself.
const QString kConfig = QStringLiteral(
    R"(uplink { host = "127.0.0.1"; ipv6 = no; ssl = no; port = @PORT@; password = "@PASSWORD@" }
serverinfo { name = "@NAME@"; description = "@DESCRIPTION@"; id = "0PS"; pid = "@FOLDER@/anope.pid"; motd = "@FOLDER@/services.motd" }
module { name = "inspircd3"; use_server_side_mlock = no; use_server_side_topiclock = no }
networkinfo { networkname = "PalvuroTest"; nicklen = 30; userlen = 10; hostlen = 64; chanlen = 32; modelistsize = 100; vhost_chars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-"; allow_undotted_vhosts = false; disallow_start_or_end = ".-" }
options { casemap = "ascii"; seed = 20261207; strictpasswords = yes; badpasslimit = 1000; badpasstimeout = 1h; updatetimeout = 5m; expiretimeout = 30m; readtimeout = 5s; warningtimeout = 4h; timeoutcheck = 3s; retrywait = 1s; hideprivilegedcommands = yes; hideregisteredcommands = yes }
log { target = "services.log"; admin = "*"; commands = "*"; servers = "*"; users = "*"; other = "*" }
mail { usemail = no }
module { name = "db_flatfile"; database = "anope.db"; keepbackups = 0; fork = no }
module { name = "enc_none" }
module { name = "m_sasl" }
service { nick = "NickServ"; user = "services"; host = "@NAME@"; gecos = "Nickname Registration Service" }
module { name = "nickserv"; client = "NickServ"; forceemail = no; defaults = "ns_secure hide_email hide_mask"; regdelay = 0s; expire = 21d; modeonid = yes; killquick = 20s; kill = 60s; enforceruser = "enforcer"; enforcerhost = "@NAME@"; releasetimeout = 1m; guestnickprefix = "Guest"; passlen = 32 }
module { name = "help" }
command { service = "NickServ"; name = "HELP"; command = "generic/help"; }
module { name = "ns_register"; registration = "none"; resenddelay = 90s }
command { service = "NickServ"; name = "REGISTER"; command = "nickserv/register"; }
module { name = "ns_identify"; maxlogins = 10 }
command { service = "NickServ"; name = "IDENTIFY"; command = "nickserv/identify"; }
module { name = "ns_cert"; max = 5 }
command { service = "NickServ"; name = "CERT"; command = "nickserv/cert"; }
)");

} // namespace

QString AnopeServices::cannotRun() {
    if (const QString why = ServerProcess::cannotRun(kServices, QStringLiteral("anope")); !why.isEmpty())
        return why;
    // Debian's AppArmor profile keeps Anope to its system folders, where a test's config is not.
    QFile profiles(QStringLiteral("/sys/kernel/security/apparmor/profiles"));
    if (profiles.open(QIODevice::ReadOnly) && profiles.readAll().contains(kServices.toUtf8() + " (enforce)"))
        return QStringLiteral(
                   "AppArmor confines Anope to its system folders (aa-complain %1 lets tests run it)")
            .arg(kServices);
    return {};
}

QByteArray AnopeServices::makeClientCertificate(const QString& pemFile, QString* error) {
    const QString keyFile = pemFile + QStringLiteral(".key");
    if (!ServerProcess::makeCertificate(pemFile, keyFile, error))
        return {};
    QFile cert(pemFile);
    QFile key(keyFile);
    if (!cert.open(QIODevice::ReadWrite | QIODevice::Append) || !key.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot join the certificate and its key in ") + pemFile;
        return {};
    }
    const QList<QSslCertificate> read = QSslCertificate::fromPath(pemFile, QSsl::Pem);
    if (read.isEmpty() || cert.write(key.readAll()) < 0) {
        *error = QStringLiteral("no certificate in ") + pemFile;
        return {};
    }
    key.remove();
    return read.first().digest(QCryptographicHash::Sha256).toHex();
}

void AnopeServices::addAccount(const QString& name, const QByteArray& password,
                               const QByteArray& fingerprint) {
    accounts_.append({name, password, fingerprint});
}

bool AnopeServices::writeDatabase() {
    const QByteArray now = QByteArray::number(QDateTime::currentSecsSinceEpoch());
    QByteArray db;
    for (const Account& account : std::as_const(accounts_)) {
        const QByteArray name = account.name.toUtf8();
        db += "OBJECT NickCore\nDATA display " + name + "\nDATA pass plain:" + account.password.toBase64() +
              "\nDATA email " + name + "@palvuro.test\n";
        if (!account.fingerprint.isEmpty())
            db += "DATA cert " + account.fingerprint + "\n";
        db += "END\nOBJECT NickAlias\nDATA nick " + name + "\nDATA nc " + name + "\nDATA time_registered " +
              now + "\nDATA last_seen " + now + "\nEND\n";
    }
    return writeFile(QStringLiteral("data/anope.db"), QString::fromUtf8(db));
}

bool AnopeServices::start(const InspIrcdServer& ircd, int timeoutMs) {
    if (isRunning())
        return true;
    if (!prepare(0) ||
        !writeFile(QStringLiteral("conf/services.conf"), kConfig,
                   {{QStringLiteral("PORT"), QString::number(ircd.linkPort())},
                    {QStringLiteral("PASSWORD"), QLatin1String(InspIrcdServer::LinkPassword)},
                    {QStringLiteral("NAME"), QLatin1String(InspIrcdServer::ServicesName)},
                    {QStringLiteral("DESCRIPTION"), kDescription}}) ||
        !writeFile(QStringLiteral("services.motd"), kDescription + QLatin1Char('\n')) ||
        !QDir(folder()).mkpath(QStringLiteral("logs")) || !writeDatabase())
        return false;
    // --nofork: left to itself Anope forks, and its first process ends at once.
    const QStringList args{QStringLiteral("--nofork"),
                           QStringLiteral("--confdir=") + path(QStringLiteral("conf")),
                           QStringLiteral("--dbdir=") + path(QStringLiteral("data")),
                           QStringLiteral("--logdir=") + path(QStringLiteral("logs")),
                           QStringLiteral("--modulesdir=/usr/lib/anope")};
    if (launch(kServices, args, timeoutMs) &&
        waitForOutput(kDescription + QStringLiteral(") is done syncing"), timeoutMs))
        return true;
    kill();
    return false;
}

} // namespace palvuro
