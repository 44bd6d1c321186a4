#include "tests/support/InspIrcdServer.h"

#include <QFile>

namespace palvuro {

namespace {

const QString kServerBinary = QStringLiteral("/usr/sbin/inspircd");
const QString kModules = QStringLiteral("/usr/lib/inspircd/modules");

// Connection classes, flood limits and everything else not named here keep the server's
// defaults: a client that passes this server passes a real network. Host names are never
// looked up: the test machine may have no resolver. The join throttle (+j) works from the
// start, where by default it waits half a minute after the server starts.
const QString kConfig = QStringLiteral(R"(<config format="xml">
<path configdir="@FOLDER@" datadir="@FOLDER@" logdir="@FOLDER@" runtimedir="@FOLDER@" moduledir="@MODULES@">
<server name="@NAME@" description="Palvuro test server" network="PalvuroTest" id="0PT">
<admin name="test" nick="test" email="test@localhost">
<bind address="127.0.0.1" port="@PORT0@" type="clients">
<bind address="127.0.0.1" port="@PORT1@" type="clients" sslprofile="test">
<bind address="127.0.0.1" port="@PORT2@" type="servers">
<connect name="local" allow="127.0.0.1" localmax="500" globalmax="500" maxconnwarn="no" useident="no" resolvehostnames="no" limit="5000">
<dns server="127.0.0.1" timeout="1">
<log method="file" type="* -USERINPUT -USEROUTPUT" level="default" target="@FOLDER@/ircd.log">
<options casemapping="ascii">
<security hidesplits="no">
<module name="ssl_gnutls">
<sslprofile name="test" provider="gnutls" certfile="@FOLDER@/cert.pem" keyfile="@FOLDER@/key.pem" requestclientcert="yes" hash="sha256">
<module name="sslinfo">
<module name="cap">
<module name="ircv3">
<module name="sasl">
<sasl target="@SERVICES@">
<module name="services_account">
<module name="joinflood">
<joinflood bootwait="0" splitwait="0">
<module name="svshold">
<module name="hidechans">
<module name="chghost">
<module name="spanningtree">
<link name="@SERVICES@" ipaddr="127.0.0.1" port="@PORT2@" allowmask="127.0.0.0/8" sendpass="@LINK_PASSWORD@" recvpass="@LINK_PASSWORD@">
<uline server="@SERVICES@" silent="yes">
@STS@)");

} // namespace

QString InspIrcdServer::cannotRun() {
    if (const QString why = ServerProcess::cannotRun(kServerBinary, QStringLiteral("inspircd"), true);
        !why.isEmpty())
        return why;
    if (!QFile::exists(kModules + QStringLiteral("/m_ssl_gnutls.so")))
        return QStringLiteral("InspIRCd has no TLS module here (m_ssl_gnutls)");
    return {};
}

bool InspIrcdServer::start(int timeoutMs) {
    const QString sts =
        stsSeconds_ > 0
            ? QStringLiteral("<module name=\"ircv3_sts\">\n<sts host=\"*\" port=\"@PORT1@\" duration=\"%1\" "
                             "preload=\"no\">\n")
                  .arg(stsSeconds_)
            : QString();
    if (prepare(3, true) &&
        writeFile(QStringLiteral("inspircd.conf"), kConfig,
                  {{QStringLiteral("MODULES"), kModules},
                   {QStringLiteral("NAME"), QLatin1String(Name)},
                   {QStringLiteral("SERVICES"), QLatin1String(ServicesName)},
                   {QStringLiteral("LINK_PASSWORD"), QLatin1String(LinkPassword)},
                   {QStringLiteral("STS"), sts}}) &&
        launch(kServerBinary,
               {QStringLiteral("--nofork"), QStringLiteral("--nopid"),
                QStringLiteral("--config=") + path(QStringLiteral("inspircd.conf"))},
               timeoutMs))
        return true;
    QFile log(path(QStringLiteral("ircd.log")));
    return fail(error() +
                (log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(20000)) : QString()));
}

} // namespace palvuro
