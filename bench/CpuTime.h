#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

namespace palvuro {

// The CPU time a process has used, as the idle benchmarks measure it.
struct CpuTime {
    // User and system time of PID so far, in clock ticks; 0 when it cannot be read.
    static qint64 ticks(qint64 pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
            return 0;
        const QByteArray text = stat.readAll();
        // After the command's closing parenthesis: state is field 3, utime 14 and stime 15.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        return fields.value(11).toLongLong() + fields.value(12).toLongLong();
    }

    // TICKS used over SECONDS as a percentage of one CPU.
    static double percent(qint64 ticks, double seconds) {
        return 100.0 * double(ticks) / double(sysconf(_SC_CLK_TCK)) / seconds;
    }
};

} // namespace palvuro
