#include "data/SettingsStore.h"

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

} // namespace

QString SettingsStore::read(Key key) {
    return openStore().value(path(key)).toString();
}

void SettingsStore::write(Key key, const QString& value) {
    auto store = openStore();
    store.setValue(path(key), value);
    store.sync();
}

void SettingsStore::remove(Key key) {
    auto store = openStore();
    store.remove(path(key));
    store.sync();
}

} // namespace palvuro
