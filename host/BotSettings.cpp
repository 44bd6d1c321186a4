#include "host/BotSettings.h"

#include "data/SettingsStore.h"
#include "host/HostOptions.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace palvuro {

namespace {

const QLatin1String kStoreFile("Quorvex.conf");

QString keyPath(SettingsStore::Key key) {
    return QLatin1String(key.section) + QLatin1Char('/') + QLatin1String(key.key);
}

} // namespace

BotSettings::BotSettings(const QString& folder)
    : configHome_(QDir(folder).filePath(QStringLiteral("settings"))) {}

QString BotSettings::file() const {
    return QDir(configHome_).filePath(kStoreFile);
}

bool BotSettings::seed(QString* error) const {
    if (!QDir().mkpath(configHome_)) {
        *error = QStringLiteral("cannot create %1").arg(configHome_);
        return false;
    }
    if (QFile::exists(file()))
        return true;
    const QString own =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(kStoreFile);
    if (QFile::exists(own) && !QFile::copy(own, file())) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(own, file());
        return false;
    }
    return true;
}

bool BotSettings::write(const QMap<QString, QString>& settings, QString* error) const {
    const std::pair<const char*, SettingsStore::Key> keys[] = {
        {HostOptions::AnswerTime, SettingsStore::GiveAnswer},
        {HostOptions::QuestionPause, SettingsStore::NextQuestion},
        {HostOptions::GiveAnswer, SettingsStore::AnswerCheck}};
    QSettings store(file(), QSettings::IniFormat);
    for (const auto& [name, key] : keys)
        if (settings.contains(QLatin1String(name)))
            store.setValue(keyPath(key), settings.value(QLatin1String(name)));
    store.sync();
    if (store.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot write the bot's settings %1").arg(file());
        return false;
    }
    return true;
}

void BotSettings::apply(QProcessEnvironment* env) const {
    env->insert(QStringLiteral("XDG_CONFIG_HOME"), configHome_);
}

} // namespace palvuro
