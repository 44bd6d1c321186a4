#pragma once

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace palvuro {

// One of the built programs (in PALVURO_BIN_DIR), or another by its absolute path, run to its end:
// its exit status, -1 for a crash or a hang, what it wrote, and the id it had (an id of no process
// now, as a crash leaves one behind).
struct ProgramRun {
    static QString path(const QString& name) {
        return name.startsWith('/') ? name : qEnvironmentVariable("PALVURO_BIN_DIR") + '/' + name;
    }
    static bool built(const QString& name) { return QFileInfo(path(name)).isExecutable(); }

    ProgramRun(const QString& name, const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
               int timeoutMs = 60000) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(path(name), args);
        pid = process.waitForStarted(timeoutMs) ? process.processId() : 0;
        const bool ended = process.waitForFinished(timeoutMs);
        out = process.readAllStandardOutput();
        err = process.readAllStandardError();
        status = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    int status = -1;
    QByteArray out, err;
    qint64 pid = 0;
};

} // namespace palvuro
