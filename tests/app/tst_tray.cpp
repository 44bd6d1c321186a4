#include "app/MainWindow.h"
#include "platform/MessageBox.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"
#include "tray/TrayMenuState.h"
#include "tray/TriviaTray.h"

#include <QtTest>
#include <QtWidgets>

using namespace palvuro;

class TestTray : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void toTrayAndBack_data();
    void toTrayAndBack();
    void iconActionsOnlyInTray();
    void closeBoxHidesOtherClosesEnd();
    void restoringMinimizedWindowComesBack();

private:
    struct Fixture {
        FakeDesktop desk;
        ManualEventPump pump;
        MainWindow window;
        explicit Fixture(const QString& folder) : window(desk.api(), pump, folder) {}
        QAction* item(const char* name) { return window.findChild<QAction*>(name); }
        QMenu* fileMenu() { return window.findChild<QMenu*>("mnu_File"); }
        bool trayMenuItems() {
            return !item("mnuTray")->isVisible() && item("mnuShow")->isVisible() &&
                   item("mnuCancel")->isVisible();
        }
        bool windowMenuItems() {
            return item("mnuTray")->isVisible() && !item("mnuShow")->isVisible() &&
                   !item("mnuCancel")->isVisible();
        }
    };

    QTemporaryDir config_;
    QTemporaryDir runtime_;
};

void TestTray::initTestCase() {
    QVERIFY(config_.isValid() && runtime_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    MessageBox::setTestMode(true);
}

void TestTray::toTrayAndBack_data() {
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<QString>("back"); // "show" or "double click"
    QTest::newRow("tray, show") << true << "show";
    QTest::newRow("tray, double click") << true << "double click";
    QTest::newRow("no tray, show") << false << "show";
    QTest::newRow("no tray, double click") << false << "double click";
}

void TestTray::toTrayAndBack() {
    QFETCH(bool, trayAvailable);
    QFETCH(QString, back);
    Fixture f(config_.path());
    f.window.tray().setSystemTrayAvailable(trayAvailable);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QVERIFY(f.windowMenuItems());
    QVERIFY(!f.window.state().inTray);

    f.item("mnuTray")->trigger();
    QVERIFY(f.window.state().inTray);
    QVERIFY(f.trayMenuItems());
    QVERIFY(f.window.tray().iconShown());
    QCOMPARE(f.window.tray().tip(), QString("Trivia"));
    if (trayAvailable)
        QVERIFY(!f.window.isVisible());
    else
        QVERIFY(f.window.isVisible() && f.window.isMinimized());

    // A right click pops up the File menu; "&Cancel" closes it and changes nothing.
    f.window.Form_MouseMove(TriviaTray::RButtonUp);
    QTRY_VERIFY(f.fileMenu()->isVisible());
    f.item("mnuCancel")->trigger();
    f.fileMenu()->close();
    QVERIFY(f.window.state().inTray);
    QVERIFY(f.trayMenuItems());
    f.window.Form_MouseMove(TriviaTray::LButtonUp); // other actions do nothing
    QVERIFY(f.window.state().inTray);

    if (back == "show")
        f.item("mnuShow")->trigger();
    else
        f.window.Form_MouseMove(TriviaTray::LButtonDblClk);
    QVERIFY(!f.window.state().inTray);
    QVERIFY(f.windowMenuItems());
    QVERIFY(!f.window.tray().iconShown());
    QVERIFY(f.window.isVisible() && !f.window.isMinimized());
}

void TestTray::iconActionsOnlyInTray() {
    Fixture f(config_.path());
    f.window.tray().setSystemTrayAvailable(true);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    f.window.Form_MouseMove(TriviaTray::RButtonUp);
    f.window.Form_MouseMove(TriviaTray::LButtonDblClk);
    QTest::qWait(20);
    QVERIFY(!f.fileMenu()->isVisible());
    QVERIFY(f.windowMenuItems());
    QVERIFY(!f.window.tray().iconShown());
}

void TestTray::closeBoxHidesOtherClosesEnd() {
    Fixture f(config_.path());
    f.window.tray().setSystemTrayAvailable(true);
    QSignalSpy ending(&f.window, &MainWindow::programEnding);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));

    QVERIFY(f.window.Form_QueryUnload(true)); // the close box: refused, to the tray
    QVERIFY(f.window.state().inTray && f.trayMenuItems() && !f.window.isVisible());
    QCOMPARE(ending.count(), 0);

    f.item("mnuShow")->trigger();
    QVERIFY(f.window.close()); // the program's own close ends it
    QCOMPARE(ending.count(), 1);
}

void TestTray::restoringMinimizedWindowComesBack() {
    Fixture f(config_.path());
    f.window.tray().setSystemTrayAvailable(false);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    f.item("mnuTray")->trigger();
    QVERIFY(f.window.isMinimized());
    f.window.showNormal(); // from the taskbar
    QTRY_VERIFY(!f.window.state().inTray);
    QVERIFY(f.windowMenuItems());
    QVERIFY(!f.window.tray().iconShown());
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
