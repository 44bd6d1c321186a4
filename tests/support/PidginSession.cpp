#include "tests/support/PidginSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace palvuro {

namespace {

const QString kPidgin = QStringLiteral("/usr/bin/pidgin");
const QString kBusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString kGailModule = QStringLiteral("/usr/lib/x86_64-linux-gnu/gtk-2.0/modules/libgail.so");
const QString kBridgeModule = QStringLiteral("/usr/lib/x86_64-linux-gnu/gtk-2.0/modules/libatk-bridge.so");

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// One line a program prints when it is ready (Xvfb's display number, the bus's address).
QString firstLine(QProcess& process) {
    QByteArray line;
    while (!line.endsWith('\n') && process.waitForReadyRead(20000))
        line += process.readAllStandardOutput();
    return line.endsWith('\n') ? QString::fromUtf8(line.trimmed()) : QString();
}

} // namespace

PidginSession::PidginSession(quint16 port, const QString& channel, const QString& nick,
                             std::optional<XmppLogin> xmpp)
    : port_(port), channel_(channel), nick_(nick), xmpp_(std::move(xmpp)),
      protocol_(QLatin1String(xmpp_ ? "prpl-jabber" : "prpl-irc")),
      accountName_(xmpp_ ? xmpp_->account + QLatin1Char('/') + QLatin1String(XmppResource)
                         : nick + QStringLiteral("@127.0.0.1")) {
    for (const char* folder : {"home", "runtime", "purple"})
        QDir().mkdir(path(QLatin1String(folder)), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

PidginSession::~PidginSession() {
    stop(pidgin_);
    stop(bus_); // the accessibility bus ends with the session bus that started it
    stop(xvfb_);
}

QString PidginSession::cannotRun() {
    for (const auto& [program, package] : {std::pair{kPidgin, "pidgin"},
                                           {kBusLauncher, "at-spi2-core"},
                                           {kGailModule, "libgail-common"},
                                           {kBridgeModule, "libatk-adaptor"}})
        if (!QFileInfo::exists(program))
            return QStringLiteral("%1 is missing (package %2; make deps)")
                .arg(program, QLatin1String(package));
    for (const char* tool : {"Xvfb", "dbus-daemon"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is not installed (make deps)").arg(QLatin1String(tool));
    return {};
}

bool PidginSession::fail(const QString& why) {
    error_ = why;
    return false;
}

bool PidginSession::start() {
    if (!dir_.isValid() || !writeConfig())
        return fail(QStringLiteral("cannot write Pidgin's configuration in ") + dir_.path());
    xvfb_.setStandardErrorFile(QProcess::nullDevice());
    xvfb_.start(QStringLiteral("Xvfb"),
                {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    const QString number = firstLine(xvfb_);
    if (number.isEmpty())
        return fail(QStringLiteral("Xvfb did not start"));
    display_ = QLatin1Char(':') + number;
    // Services the bus starts (the accessibility bus and its registry) inherit its environment:
    // the registry presses keys on this display.
    bus_.setProcessEnvironment(environment());
    bus_.setStandardErrorFile(QProcess::nullDevice());
    bus_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    busAddress_ = firstLine(bus_);
    if (busAddress_.isEmpty())
        return fail(QStringLiteral("the session bus did not start"));
    return startPidgin();
}

bool PidginSession::startPidgin() {
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("GTK_MODULES"), QStringLiteral("gail:atk-bridge"));
    pidgin_.setProcessEnvironment(env);
    pidgin_.setStandardOutputFile(path(QStringLiteral("pidgin.log")), QIODevice::Append);
    pidgin_.setStandardErrorFile(path(QStringLiteral("pidgin.log")), QIODevice::Append);
    pidgin_.start(kPidgin, {QStringLiteral("-c"), path(QStringLiteral("purple"))});
    return pidgin_.waitForStarted(10000) ||
           fail(QStringLiteral("Pidgin did not start: ") + pidgin_.errorString());
}

void PidginSession::killPidgin() {
    pidgin_.kill();
    pidgin_.waitForFinished(5000);
}

bool PidginSession::setScrollbackLines(int lines) {
    return !purple(QStringLiteral("PurplePrefsSetInt"),
                   {QStringLiteral("string:/pidgin/conversations/scrollback_lines"),
                    "int32:" + QString::number(lines)})
                .isNull();
}

QString PidginSession::purple(const QString& method, const QStringList& arguments) {
    QProcess call;
    call.setProcessEnvironment(environment());
    call.start(QStringLiteral("dbus-send"),
               QStringList{"--session", "--print-reply", "--dest=im.pidgin.purple.PurpleService",
                           "/im/pidgin/purple/PurpleObject", "im.pidgin.purple.PurpleInterface." + method} +
                   arguments);
    if (!call.waitForFinished(10000) || call.exitCode() != 0) {
        error_ = method + QStringLiteral(" failed: ") + QString::fromUtf8(call.readAllStandardError());
        return {};
    }
    // "method return ..." and, for a number, a line "   int32 42".
    const QString reply = QString::fromUtf8(call.readAllStandardOutput()).simplified();
    return reply.section(QLatin1Char(' '), -1);
}

QString PidginSession::account() {
    return purple(QStringLiteral("PurpleAccountsFind"), {"string:" + accountName_, "string:" + protocol_});
}

bool PidginSession::reconnectAccount() {
    const QString id = "int32:" + account();
    const QString disconnected = purple(QStringLiteral("PurpleAccountIsDisconnected"), {id});
    if (disconnected.isNull() || disconnected == QLatin1String("0"))
        return !disconnected.isNull();
    return !purple(QStringLiteral("PurpleAccountSetEnabled"),
                   {id, QStringLiteral("string:gtk-gaim"), "int32:1"})
                .isNull();
}

QProcessEnvironment PidginSession::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    env.insert(QStringLiteral("DISPLAY"), display_);
    if (!busAddress_.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    for (const char* name : {"NO_AT_BRIDGE", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

// What differs between networks: the account's settings, and the group chat Pidgin joins by itself.
bool PidginSession::writeConfig() {
    const auto setting = [](const char* name, const char* type, const QString& value) {
        return QStringLiteral("<setting name='%1' type='%2'>%3</setting>")
            .arg(QLatin1String(name), QLatin1String(type), value);
    };
    QString settings = setting("port", "int", QString::number(port_));
    QString password;
    QString chat = QStringLiteral("<component name='channel'>%1</component>").arg(channel_);
    if (xmpp_) {
        // The server is reached at 127.0.0.1 whatever its domain, and without TLS Pidgin must be
        // allowed to send the password in the clear.
        settings += setting("connect_server", "string", QStringLiteral("127.0.0.1")) +
                    setting("connection_security", "string", QStringLiteral("opportunistic_tls")) +
                    setting("auth_plain_in_clear", "bool", QStringLiteral("1"));
        password = QStringLiteral("<password>%1</password>").arg(xmpp_->password);
        chat =
            QStringLiteral("<component name='room'>%1</component><component name='server'>%2</component>"
                           "<component name='handle'>%3</component>")
                .arg(channel_.section(QLatin1Char('@'), 0, 0), channel_.section(QLatin1Char('@'), 1), nick_);
    }
    const QString accounts =
        QStringLiteral("<account version='1.0'><account><protocol>%1</protocol><name>%2</name>%3"
                       "<settings>%4</settings><settings ui='gtk-gaim'>"
                       "<setting name='auto-login' type='bool'>1</setting></settings></account></account>")
            .arg(protocol_, accountName_, password, settings);
    const QString buddies =
        QStringLiteral("<purple version='1.0'><blist><group name='Chats'><chat proto='%1' account='%2'>%3"
                       "<setting name='gtk-autojoin' type='bool'>1</setting></chat></group></blist>"
                       "<privacy/></purple>")
            .arg(protocol_, accountName_, chat);
    for (const auto& [name, text] : {std::pair{"accounts.xml", accounts}, {"blist.xml", buddies}}) {
        QFile file(path(QStringLiteral("purple/") + QLatin1String(name)));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("<?xml version='1.0' encoding='UTF-8' ?>\n" + text.toUtf8()) < 0)
            return false;
    }
    return true;
}

} // namespace palvuro
