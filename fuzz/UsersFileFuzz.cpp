#include "fuzz/UsersFileFuzz.h"

#include "data/UsersList.h"
#include "fuzz/FuzzApplication.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace palvuro {

namespace {

bool isStorable(const QString& name) {
    return !name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('\r')) &&
           !name.contains(QLatin1Char('\n')) && name != UsersList::deletedMarker();
}

const QString& folder() {
    static QTemporaryDir dir;
    static const QString path = dir.path();
    return path;
}

} // namespace

bool UsersFileFuzz::run(const std::uint8_t* data, std::size_t size, QString* failure) {
    FuzzApplication::ensure();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList names = UsersList::parse(bytes);
    if (static_cast<std::size_t>(names.size()) > size + 1) {
        *failure = QStringLiteral("%1 names from %2 bytes").arg(names.size()).arg(size);
        return false;
    }
    QStringList storable;
    for (const QString& name : names) {
        if (isStorable(name))
            storable << name;
    }
    const UsersList list(folder());
    QString error;
    if (!list.save(storable, &error)) {
        *failure = QStringLiteral("a readable name could not be saved: ") + error;
        return false;
    }
    QFile file(list.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        *failure = QStringLiteral("the saved file cannot be read");
        return false;
    }
    const QStringList again = UsersList::parse(file.readAll());
    if (again != storable) {
        *failure =
            QStringLiteral("saved %1 names, read back %2 that differ").arg(storable.size()).arg(again.size());
        return false;
    }
    return true;
}

int fuzzUsersFile(const std::uint8_t* data, std::size_t size) {
    QString failure;
    if (!UsersFileFuzz::run(data, size, &failure)) {
        std::fprintf(stderr, "fuzz_users_file: invariant broken: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}

} // namespace palvuro
