#include "tests/support/HostProcess.h"

#include "tests/support/E2eSession.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WaitUntil.h"

#include <QtTest>

namespace palvuro {

namespace {

QString sharedRuntime() {
    static QTemporaryDir runtime;
    return runtime.path();
}

} // namespace

const QHash<QString, QString>& HostProcess::answers() {
    return E2eSession::answers();
}

HostProcess::HostProcess(quint16 port, const QString& channel, const QString& nick)
    : port_(port), channel_(channel), nick_(nick) {}

HostProcess::~HostProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString HostProcess::url() const {
    return QStringLiteral("irc://127.0.0.1:%1/%2").arg(port_).arg(QString(channel_).replace("#", "%23"));
}

QByteArray HostProcess::config(const QString& nick, int answerTime) const {
    return "url=" + url().toUtf8() + "\nnick=" + nick.toUtf8() +
           "\nanswer-time=" + QByteArray::number(answerTime) + "\nquestion-pause=1\ngive-answer=no\n";
}

bool HostProcess::start(const QStringList& extraArguments) {
    if (!E2eSession::fillDataFolder(folder())) {
        error_ = "cannot fill " + folder();
        return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("XDG_RUNTIME_DIR", sharedRuntime());
    env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
    env.insert("XDG_DATA_HOME", dir_.filePath("share"));
    process_.setProcessEnvironment(env);
    QObject::connect(&process_, &QProcess::readyReadStandardError, &process_,
                     [this] { log_ += process_.readAllStandardError(); });
    const QString bin = qEnvironmentVariable("PALVURO_BIN_DIR", QCoreApplication::applicationDirPath());
    if (!QFile::exists(configFile()) && !TestFiles::write(configFile(), config(nick_))) {
        error_ = "cannot write " + configFile();
        return false;
    }
    process_.start(bin + "/palvuro-host",
                   QStringList{"--folder", folder(), "--config", configFile()} + extraArguments);
    if (!process_.waitForStarted()) {
        error_ = "palvuro-host did not start: " + process_.errorString();
        return false;
    }
    return true;
}

HostStatus HostProcess::status() const {
    HostStatus status;
    QString ignored;
    HostStatus::load(folder(), &status, &ignored);
    return status;
}

bool HostProcess::waitHealthy(int timeoutMs, int minRestarts) const {
    return waitUntil(
        [&] {
            const HostStatus now = status();
            return now.healthy() && now.restarts >= minRestarts;
        },
        timeoutMs, 20);
}

QByteArray HostProcess::log() {
    log_ += process_.readAllStandardError();
    return log_;
}

} // namespace palvuro
