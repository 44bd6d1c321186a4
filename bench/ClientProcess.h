#pragma once

#include <QFile>
#include <QString>

namespace palvuro {

// What the benchmarks of a running palvuro-chat share: the room line they fill it with, the
// same as the client's own --fill, and the memory the process holds.
struct ClientProcess {
    // "line 00000042 ......", 60 characters.
    static QString sixtyCharacters(int i) {
        return QStringLiteral("line %1 ").arg(i, 8, 10, QLatin1Char('0')).leftJustified(60, QLatin1Char('.'));
    }

    // The process's resident memory in kB, or -1 when it cannot be read.
    static long residentKb(qint64 pid) {
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
