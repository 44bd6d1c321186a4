#include "data/SettingsStore.h"

#include "data/DataLog.h"

#include <QSettings>

namespace palvuro {

namespace {

// One QSettings per operation: the store is read rarely, and every write reaches the disk (or
// the registry) before the call returns.
QSettings openStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvex"));
}

QString path(SettingsStore::Key key) {
    return QLatin1String(key.section) + QLatin1Char('/') + QLatin1String(key.key);
}

// The operator sees nothing when a setting is not kept (the box shows the new value anyway), so
// the log says why.
void syncOrWarn(QSettings& store, const QString& key) {
    store.sync();
    if (store.status() == QSettings::NoError)
        return;
    const char* why = store.status() == QSettings::AccessError ? "cannot be written" : "is damaged";
    qCWarning(lcData).noquote() << "setting" << key << "not kept:" << store.fileName() << why;
}

} // namespace

QString SettingsStore::read(Key key) {
    return openStore().value(path(key)).toString();
}

void SettingsStore::write(Key key, const QString& value) {
    auto store = openStore();
    store.setValue(path(key), value);
    syncOrWarn(store, path(key));
}

void SettingsStore::remove(Key key) {
    auto store = openStore();
    store.remove(path(key));
    syncOrWarn(store, path(key));
}

} // namespace palvuro
