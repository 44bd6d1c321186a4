#include "bridge/ProcessTable.h"

#include <QDir>
#include <QFile>

namespace palvuro {

bool ProcessTable::runs(const QString& name) {
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile comm(proc.filePath(entry + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && QString::fromUtf8(comm.readAll()).trimmed() == name)
            return true;
    }
    return false;
}

} // namespace palvuro
