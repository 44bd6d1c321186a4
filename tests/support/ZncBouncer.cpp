#include "tests/support/ZncBouncer.h"

#include <QCryptographicHash>
#include <QUuid>

namespace palvuro {

namespace {

const QString kZnc = QStringLiteral("/usr/bin/znc");

// Waits between connections are ZNC's defence of the server; one test's one network needs none.
const QString kConfig = QStringLiteral(R"(Version = 1.8.2
ConnectDelay = 0
ServerThrottle = 0
<Listener irc>
    Host = 127.0.0.1
    Port = @PORT0@
    IPv4 = true
    IPv6 = false
    SSL = false
    AllowIRC = true
    AllowWeb = false
</Listener>
<User bot>
    <Pass password>
        Method = sha256
        Hash = @HASH@
        Salt = @SALT@
    </Pass>
    Admin = true
    Nick = @NICK@
    AltNick = @NICK@_
    Ident = palvuro
    RealName = Palvuro Trivia
    <Network net>
        Server = 127.0.0.1 @SERVER_PORT@
        <Chan @CHANNEL@>
        </Chan>
    </Network>
</User>
)");

} // namespace

QString ZncBouncer::cannotRun() {
    return ServerProcess::cannotRun(kZnc, QStringLiteral("znc"));
}

bool ZncBouncer::start(quint16 serverPort, const QString& nick, const QString& channel,
                       const QByteArray& password) {
    const QByteArray salt = QUuid::createUuid().toByteArray(QUuid::Id128);
    const QByteArray hash = QCryptographicHash::hash(password + salt, QCryptographicHash::Sha256).toHex();
    return prepare(1) &&
           writeFile(QStringLiteral("configs/znc.conf"), kConfig,
                     {{QStringLiteral("HASH"), QString::fromLatin1(hash)},
                      {QStringLiteral("SALT"), QString::fromLatin1(salt)},
                      {QStringLiteral("NICK"), nick},
                      {QStringLiteral("SERVER_PORT"), QString::number(serverPort)},
                      {QStringLiteral("CHANNEL"), channel}}) &&
           launch(kZnc, {QStringLiteral("--foreground"), QStringLiteral("--datadir"), folder()}, 30000);
}

} // namespace palvuro
