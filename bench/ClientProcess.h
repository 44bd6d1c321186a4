#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

namespace palvuro {

// What the benchmarks of a running palvuro-chat share: how it is started, the room line they fill
// it with, the same as the client's own --fill, and the memory the process holds.
struct ClientProcess {
    // Starts the palvuro-chat beside the benchmark, offscreen, its desktop bus in RUNTIMEDIR.
    static bool start(QProcess& chat, const QStringList& args, const QString& runtimeDir,
                      QProcess::ProcessChannelMode channels) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        chat.setProcessEnvironment(env);
        chat.setProcessChannelMode(channels);
        chat.start(QCoreApplication::applicationDirPath() + QStringLiteral("/palvuro-chat"), args);
        return chat.waitForStarted();
    }

    // "line 00000042 ......", 60 characters.
    static QString sixtyCharacters(int i) {
        return QStringLiteral("line %1 ").arg(i, 8, 10, QLatin1Char('0')).leftJustified(60, QLatin1Char('.'));
    }

    // The process's resident memory in kB once the window has drawn its last batch, or -1 when
    // it cannot be read.
    static long settledResidentKb(qint64 pid) {
        QThread::msleep(1000);
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
        return -1;
    }
};

} // namespace palvuro
