#include "tests/support/ZncBouncer.h"

#include <QCryptographicHash>
#include <QDir>
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
    if (!process_.prepare(1) || !QDir(process_.folder()).mkpath(QStringLiteral("configs")))
        return false;
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
                               .arg(port())
                               .arg(QString::fromLatin1(hash), QString::fromLatin1(salt), nick)
                               .arg(serverPort)
                               .arg(channel);
    return process_.writeFile(QStringLiteral("configs/znc.conf"), config.toUtf8()) &&
           process_.start(kZnc,
                          {QStringLiteral("--foreground"), QStringLiteral("--datadir"), process_.folder()});
}

} // namespace palvuro
