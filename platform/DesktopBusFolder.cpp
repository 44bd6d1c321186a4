#include "platform/DesktopBusFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace palvuro {

namespace {

QString folderPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("palvuro-desktop"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("palvuro-desktop-%1").arg(getuid()));
}

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

// A folder someone else owns or can enter could hold sockets that impersonate our windows.
bool isSafe(const QByteArray& path, QString* error) {
    struct stat info {};
    if (lstat(path.constData(), &info) != 0)
        return fail(error, QStringLiteral("cannot examine %1: %2")
                               .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno))));
    if (!S_ISDIR(info.st_mode))
        return fail(error, QStringLiteral("%1 is not a folder").arg(QFile::decodeName(path)));
    if (info.st_uid != getuid())
        return fail(error, QStringLiteral("%1 belongs to another user").arg(QFile::decodeName(path)));
    if ((info.st_mode & 077) != 0)
        return fail(error, QStringLiteral("%1 is open to other users (mode %2)")
                               .arg(QFile::decodeName(path))
                               .arg(info.st_mode & 0777, 3, 8, QLatin1Char('0')));
    return true;
}

} // namespace

QString DesktopBusFolder::ensure(QString* error) {
    const QString path = folderPath();
    const QByteArray native = QFile::encodeName(path);
    if (mkdir(native.constData(), 0700) == 0) {
        // mkdir honours the umask, which may only narrow the mode; state it exactly anyway.
        chmod(native.constData(), 0700);
    } else if (errno != EEXIST) {
        fail(error,
             QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return {};
    }
    if (!isSafe(native, error))
        return {};
    return path;
}

} // namespace palvuro
