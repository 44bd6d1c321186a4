#include "tests/support/ZncBouncer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QUuid>

namespace palvuro {

namespace {

const QString kZnc = QStringLiteral("/usr/bin/znc");

} // namespace

QString ZncBouncer::cannotRun() {
    return ServerProcess::cannotRun(kZnc, QStringLiteral("znc"));
}

bool ZncBouncer::start(quint16 serverPort, const QString& nick, const QString& channel,
                       const QByteArray& password) {
    port_ = ServerProcess::freePort();
    if (!dir_.isValid() || port_ == 0 || !QDir(dir_.path()).mkpath(QStringLiteral("configs"))) {
        error_ = QStringLiteral("no folder or no free port for ZNC");
        return false;
    }
    const QByteArray salt = QUuid::createUuid().toByteArray(QUuid::Id128);
    const QByteArray hash = QCryptographicHash::hash(password + salt, QCryptographicHash::Sha256).toHex();
    // Waits between connections are ZNC's defence of the server; one test's one network needs none.
    const QString config = QStringLiteral(R"(Version = 1.8.2
ConnectDelay = 0
ServerThrottle = 0
<Listener irc>
    Host = 127.0.0.1
    Port = %1
    IPv4 = true
    IPv6 = false
    SSL = false
    AllowIRC = true
    AllowWeb = false
</Listener>
<User bot>
    <Pass password>
        Method = sha256
        Hash = %2
        Salt = %3
    </Pass>
    Admin = true
    Nick = %4
    AltNick = %4_
    Ident = palvuro
    RealName = Palvuro Trivia
    <Network net>
        Server = 127.0.0.1 %5
        <Chan %6>
        </Chan>
    </Network>
</User>
)")
                               .arg(port_)
                               .arg(QString::fromLatin1(hash), QString::fromLatin1(salt), nick)
                               .arg(serverPort)
                               .arg(channel);
    QFile file(dir_.filePath(QStringLiteral("configs/znc.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write ZNC's config: ") + file.errorString();
        return false;
    }
    file.close();
    if (!process_.start(kZnc, {QStringLiteral("--foreground"), QStringLiteral("--datadir"), dir_.path()},
                        dir_.path(), {port_})) {
        error_ = process_.error();
        return false;
    }
    return true;
}

} // namespace palvuro
