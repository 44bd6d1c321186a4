#include "data/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace palvuro {

DataFolder::Choice DataFolder::choose(const QString& programFolder, const QString& explicitFolder) {
    if (!explicitFolder.isEmpty())
        return {QDir(explicitFolder).absolutePath(), Source::Explicit};
    if (!isInstalled(programFolder) && canWriteIn(programFolder))
        return {QDir(programFolder).absolutePath(), Source::ProgramFolder};
    return {userData(), Source::UserData};
}

DataFolder::Choice DataFolder::botDefault() {
    return choose(QCoreApplication::applicationDirPath());
}

bool DataFolder::prepare(const QString& path, QString* error) {
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("cannot create the folder %1").arg(path);
        return false;
    }
    if (!canWriteIn(path)) {
        *error = QStringLiteral("cannot write in the folder %1").arg(path);
        return false;
    }
    return true;
}

QString DataFolder::userData() {
    // Not AppDataLocation: that follows the asking program's name, and palvuro-import must find
    // the bot's folder.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/palvuro-trivia");
}

bool DataFolder::isInstalled(const QString& programFolder) {
    const QDir bin(programFolder);
    return bin.dirName() == QLatin1String("bin") && QFileInfo::exists(bin.filePath(QStringLiteral(
                                                        "../share/applications/org.palvuro.Trivia.desktop")));
}

bool DataFolder::canWriteIn(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".palvuro-probe-XXXXXX")));
    return probe.open();
}

QString DataFolder::describe(const Choice& choice) {
    switch (choice.source) {
    case Source::Explicit:
        return QStringLiteral("the folder given with --folder, %1").arg(choice.path);
    case Source::ProgramFolder:
        return QStringLiteral("the program's folder, %1").arg(choice.path);
    case Source::UserData:
        break;
    }
    return QStringLiteral("the per-user data folder, %1").arg(choice.path);
}

} // namespace palvuro
