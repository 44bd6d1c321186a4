#include "tests/support/ServerProcess.h"

#include "tests/support/ProgramRun.h"
#include "tests/support/WaitUntil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace palvuro {

namespace {

const QString kSetpriv = QStringLiteral("/usr/bin/setpriv");

bool runningAsRoot() {
    return ::geteuid() == 0;
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QString::fromLatin1(ServerProcess::Host), port);
    const bool ok = socket.waitForConnected(200);
    socket.abort();
    return ok;
}

// Gives FOLDER and everything in it to nobody, so a server started as nobody may use it.
bool giveToNobody(const QString& folder) {
    if (!runningAsRoot())
        return true;
    const passwd* user = ::getpwnam("nobody");
    const group* grp = ::getgrnam("nogroup");
    if (!user || !grp)
        return false;
    QStringList paths{folder};
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    for (const QString& path : paths)
        if (::chown(QFile::encodeName(path).constData(), user->pw_uid, grp->gr_gid) != 0)
            return false;
    return true;
}

} // namespace

ServerProcess::~ServerProcess() {
    kill();
}

QString ServerProcess::cannotRun(const QString& program, const QString& package, bool tls) {
    if (!QFileInfo(program).isExecutable())
        return QStringLiteral("%1 is not installed (tools/install-deps.sh installs it)").arg(package);
    if (runningAsRoot() && !QFileInfo(kSetpriv).isExecutable())
        return QStringLiteral("setpriv is missing: %1 cannot be started as nobody").arg(package);
    if (tls && QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        return QStringLiteral("openssl is missing: no certificate for the TLS port");
    return {};
}

// The server binds it a moment later; another program taking it in between is unlikely enough
// for a test.
quint16 ServerProcess::freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool ServerProcess::makeCertificate(const QString& certFile, const QString& keyFile, QString* error) {
    const ProgramRun openssl(QStandardPaths::findExecutable(QStringLiteral("openssl")),
                             {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                              QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                              QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                              QStringLiteral("-addext"),
                              QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                              QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile});
    if (openssl.status != 0)
        *error = QStringLiteral("openssl req failed: ") + QString::fromLocal8Bit(openssl.err);
    return openssl.status == 0;
}

bool ServerProcess::fail(const QString& why) {
    error_ = why;
    return false;
}

bool ServerProcess::writeFile(const QString& name, QString text, const QHash<QString, QString>& fields) {
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        text.replace(QLatin1Char('@') + it.key() + QLatin1Char('@'), it.value());
    text.replace(QStringLiteral("@FOLDER@"), folder());
    for (int i = 0; i < ports_.size(); ++i)
        text.replace(QStringLiteral("@PORT%1@").arg(i), QString::number(ports_.at(i)));
    QFile file(path(name));
    const QByteArray bytes = text.toUtf8();
    return (QFileInfo(file).dir().mkpath(QStringLiteral(".")) && file.open(QIODevice::WriteOnly) &&
            file.write(bytes) == bytes.size()) ||
           fail(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
}

bool ServerProcess::prepare(int count, bool tls) {
    if (!ports_.isEmpty())
        return true;
    if (!folder_.isValid())
        return fail(QStringLiteral("no temporary folder: ") + folder_.errorString());
    QList<quint16> ports;
    while (ports.size() < count) {
        const quint16 port = freePort();
        if (port == 0 || ports.contains(port))
            return fail(QStringLiteral("no free port on 127.0.0.1"));
        ports.append(port);
    }
    if (tls && !makeCertificate(certificateFile(), path(QStringLiteral("key.pem")), &error_))
        return false;
    ports_ = ports;
    return true;
}

// A server outlives a test that crashes or is killed by its time limit, holding its port and
// folder: it gets SIGKILL when the test ends however it ends. Changing the user clears that
// wish, so setpriv makes it again once it is nobody.
bool ServerProcess::startAsServerUser(QProcess& process, const QString& program, const QStringList& args) {
    if (!giveToNobody(folder()))
        return fail(QStringLiteral("cannot give %1 to nobody").arg(folder()));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder());
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    if (runningAsRoot())
        process.start(kSetpriv,
                      QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                  QStringLiteral("--clear-groups"), QStringLiteral("--pdeathsig=KILL"),
                                  program} +
                          args);
    else
        process.start(program, args);
    return process.waitForStarted(10000) ||
           fail(program + QStringLiteral(" did not start: ") + process.errorString());
}

bool ServerProcess::launch(const QString& program, const QStringList& args, int timeoutMs) {
    if (isRunning())
        return true;
    output_.clear();
    if (!startAsServerUser(process_, program, args))
        return false;
    const auto listening = [this] { return std::all_of(ports_.cbegin(), ports_.cend(), accepts); };
    if (waitUntil([&] { return listening() || !isRunning(); }, timeoutMs, 20) && isRunning())
        return true;
    fail(program + (isRunning() ? QStringLiteral(" does not listen: ") : QStringLiteral(" ended: ")) +
         output());
    kill();
    return false;
}

QString ServerProcess::output() {
    output_ += process_.readAll();
    return QString::fromLocal8Bit(output_);
}

bool ServerProcess::waitForOutput(const QString& text, int timeoutMs) {
    return (QTest::qWaitFor([&] { return output().contains(text) || !isRunning(); }, timeoutMs) &&
            output().contains(text)) ||
           fail(QStringLiteral("no \"%1\" in: %2").arg(text, output().right(2000)));
}

bool ServerProcess::runAsServerUser(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess process;
    if (!startAsServerUser(process, program, args))
        return false;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    process.kill();
    return fail(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll()));
}

void ServerProcess::signal(int signal) {
    if (process_.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(process_.processId()), signal);
}

bool ServerProcess::stop(int signal, int timeoutMs) {
    if (process_.state() == QProcess::NotRunning)
        return true;
    this->signal(signal);
    return process_.waitForFinished(timeoutMs);
}

void ServerProcess::kill() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(10000);
}

bool ServerProcess::isRunning() const {
    return process_.state() != QProcess::NotRunning;
}

} // namespace palvuro
