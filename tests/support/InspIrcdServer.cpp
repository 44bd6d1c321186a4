#include "tests/support/InspIrcdServer.h"

#include <QFile>

namespace palvuro {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/inspircd");
const QString kModules = QStringLiteral("/usr/lib/inspircd/modules");

} // namespace

QString InspIrcdServer::cannotRun() {
    if (const QString why = ServerProcess::cannotRun(kServerBinary, QStringLiteral("inspircd"), true);
        !why.isEmpty())
        return why;
    if (!QFile::exists(kModules + QStringLiteral("/m_ssl_gnutls.so")))
        return QStringLiteral("InspIRCd has no TLS module here (m_ssl_gnutls)");
    return {};
}

QString InspIrcdServer::log() const {
    QFile file(process_.path(QStringLiteral("ircd.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(20000)) : QString();
}

bool InspIrcdServer::writeConfig() {
    // Connection classes, flood limits and everything else not named here keep the server's
    // defaults: a client that passes this server passes a real network. Host names are never
    // looked up: the test machine may have no resolver. The join throttle (+j) works from the
    // start, where by default it waits half a minute after the server starts.
    QString config = QStringLiteral(R"(<config format="xml">
<path configdir="%1" datadir="%1" logdir="%1" runtimedir="%1" moduledir="%2">
<server name="%3" description="Palvuro test server" network="PalvuroTest" id="0PT">
<admin name="test" nick="test" email="test@localhost">
<bind address="127.0.0.1" port="%4" type="clients">
<bind address="127.0.0.1" port="%5" type="clients" sslprofile="test">
<bind address="127.0.0.1" port="%6" type="servers">
<connect name="local" allow="127.0.0.1" localmax="500" globalmax="500" maxconnwarn="no" useident="no" resolvehostnames="no" limit="5000">
<dns server="127.0.0.1" timeout="1">
<log method="file" type="* -USERINPUT -USEROUTPUT" level="default" target="%1/ircd.log">
<options casemapping="ascii">
<security hidesplits="no">
<module name="ssl_gnutls">
<sslprofile name="test" provider="gnutls" certfile="%1/cert.pem" keyfile="%1/key.pem" requestclientcert="yes" hash="sha256">
<module name="sslinfo">
<module name="cap">
<module name="ircv3">
<module name="sasl">
<sasl target="%7">
<module name="services_account">
<module name="joinflood">
<joinflood bootwait="0" splitwait="0">
<module name="svshold">
<module name="hidechans">
<module name="chghost">
<module name="spanningtree">
<link name="%7" ipaddr="127.0.0.1" port="%6" allowmask="127.0.0.0/8" sendpass="%8" recvpass="%8">
<uline server="%7" silent="yes">
)")
                         .arg(process_.folder(), kModules, QLatin1String(Name))
                         .arg(port())
                         .arg(tlsPort())
                         .arg(linkPort())
                         .arg(QLatin1String(ServicesName), linkPassword());
    if (stsSeconds_ > 0)
        config += QStringLiteral("<module name=\"ircv3_sts\">\n"
                                 "<sts host=\"*\" port=\"%1\" duration=\"%2\" preload=\"no\">\n")
                      .arg(tlsPort())
                      .arg(stsSeconds_);
    return process_.writeFile(QStringLiteral("inspircd.conf"), config.toUtf8());
}

bool InspIrcdServer::start(int timeoutMs) {
    return process_.isRunning() ||
           (process_.prepare(3, true) && writeConfig() &&
            process_.start(kServerBinary,
                           {QStringLiteral("--nofork"), QStringLiteral("--nopid"),
                            QStringLiteral("--config=") + process_.path(QStringLiteral("inspircd.conf"))},
                           timeoutMs));
}

} // namespace palvuro
