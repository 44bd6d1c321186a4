#include "app/SingleInstance.h"

#include "widgets/MessageBox.h"

#include <QDir>
#include <QStandardPaths>

namespace palvuro {

SingleInstance::SingleInstance(const QString& folder)
    : path_(
          QDir(folder.isEmpty() ? defaultFolder() : folder).filePath(QStringLiteral("palvuro-trivia.lock"))),
      lock_(path_) {
    // Age never makes the lock stale: only a holder whose process is gone does.
    lock_.setStaleLockTime(0);
}

bool SingleInstance::claim() {
    if (lock_.isLocked())
        return true;
    return lock_.tryLock(0);
}

bool SingleInstance::claimOrWarn(QWidget* parent) {
    if (claim())
        return true;
    MessageBox::show(parent, MessageBox::Icon::Exclamation, QString::fromLatin1(RefusalText));
    return false;
}

QString SingleInstance::defaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("palvuro-trivia-") + QDir::home().dirName());
    }
    QDir().mkpath(folder);
    return folder;
}

} // namespace palvuro
