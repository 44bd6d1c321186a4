#include "app/SingleInstance.h"
#include "platform/MessageBox.h"

#include <QtTest>

#include <memory>

using namespace palvuro;

class TestSingleInstance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void secondInstanceIsRefused();
    void staleLockOfDeadProcessIsTakenOver();
    void defaultFolderIsTheUsersRuntimeFolder();
};

void TestSingleInstance::initTestCase() {
    MessageBox::setTestMode(true);
}

void TestSingleInstance::secondInstanceIsRefused() {
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstance>(dir.path());
    QVERIFY(first->claimOrWarn());
    QVERIFY(MessageBox::shown().empty());

    SingleInstance second(dir.path());
    QVERIFY(!second.claimOrWarn());
    QCOMPARE(MessageBox::shown().size(), std::size_t(1));
    QCOMPARE(MessageBox::shown().front().icon, MessageBox::Icon::Exclamation);
    QCOMPARE(MessageBox::shown().front().text,
             QString("Another instance of this bot is already running. Close other instance."));
    QVERIFY(first->claim()); // the running one is untouched
    QVERIFY(QFile::exists(first->lockPath()));

    first.reset(); // the first one ends normally
    QVERIFY(second.claim());
    MessageBox::clearShown();
}

void TestSingleInstance::staleLockOfDeadProcessIsTakenOver() {
    QTemporaryDir dir;
    QString lockPath;
    QByteArray contents;
    {
        SingleInstance probe(dir.path());
        QVERIFY(probe.claim());
        lockPath = probe.lockPath();
        QFile file(lockPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        contents = file.readAll();
    }
    // The same lock, as a copy that crashed would have left it: its process is gone.
    QProcess gone;
    gone.start("true", {});
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());
    QList<QByteArray> lines = contents.split('\n');
    QVERIFY(lines.size() > 1);
    lines[0] = QByteArray::number(deadPid);
    QFile file(lockPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(lines.join('\n'));
    file.close();

    SingleInstance next(dir.path());
    QVERIFY(next.claimOrWarn());
    QVERIFY(MessageBox::shown().empty());
}

void TestSingleInstance::defaultFolderIsTheUsersRuntimeFolder() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    SingleInstance instance;
    QCOMPARE(QFileInfo(instance.lockPath()).absolutePath(), QFileInfo(runtime.path()).absoluteFilePath());
    QVERIFY(instance.claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
