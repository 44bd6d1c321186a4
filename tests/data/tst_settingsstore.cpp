#include "data/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace palvuro;

class SettingsStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;

private Q_SLOTS:
    void initTestCase() {
        // Before the first QSettings: it takes the per-user folder once.
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    }

    void roundTripsAndRemoves() {
        QCOMPARE(SettingsStore::read(SettingsStore::GiveAnswer), QString(""));
        SettingsStore::write(SettingsStore::GiveAnswer, "75");
        SettingsStore::write(SettingsStore::NextQuestion, "40");
        SettingsStore::write(SettingsStore::NickName, QString::fromUtf8("Trívia Bot"));
        QCOMPARE(SettingsStore::read(SettingsStore::GiveAnswer), QString("75"));
        QCOMPARE(SettingsStore::read(SettingsStore::NickName), QString::fromUtf8("Trívia Bot"));
        QVERIFY(QFile::exists(config_.path() + "/Quorvex.conf"));
        SettingsStore::remove(SettingsStore::GiveAnswer);
        QCOMPARE(SettingsStore::read(SettingsStore::GiveAnswer), QString(""));
        QCOMPARE(SettingsStore::read(SettingsStore::NextQuestion), QString("40"));
        QCOMPARE(SettingsStore::read(SettingsStore::AnswerCheck), QString(""));
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
