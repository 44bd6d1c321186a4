#include "app/MainWindow.h"
#include "chat/ChatLink.h"
#include "commands/TriviaBot.h"
#include "platform/LocalWindowApi.h"
#include "platform/MessageBox.h"
#include "platform/WindowRegistry.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QtTest>

#include <QtWidgets>

using namespace palvuro;

namespace {

QSettings store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvex"));
}

// What the bot put into the client's input box, with the tick count of each.
struct InputLog {
    QStringList texts;
    QList<std::uint32_t> ticks;
};

void recordInput(FakeDesktop& desk, ManualEventPump& pump, InputLog& log) {
    QObject::connect(&desk.room(), &ChatRoom::inputChanged, [&pump, &log](const QString& text) {
        if (!text.isEmpty()) {
            log.texts.append(text);
            log.ticks.append(pump.tickCount());
        }
    });
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void controls_data();
    void controls();
    void firstRunDefaults();
    void storedValuesLoad_data();
    void storedValuesLoad();
    void choicesAreStoredTypedTextIsNot();
    void connectDecisions_data();
    void connectDecisions();
    void connectThenExitSpacesTheLines();
    void textBeforeConnectIsNotNew();
    void adminWindowsOpenOnce_data();
    void adminWindowsOpenOnce();

private:
    QTemporaryDir config_;
    QTemporaryDir runtime_;
    QTemporaryDir programFolder_;
};

void TestMainWindow::initTestCase() {
    QVERIFY(config_.isValid() && runtime_.isValid() && programFolder_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    // The settings' folder may have been looked up before the variable was set.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    MessageBox::setTestMode(true);
}

void TestMainWindow::init() {
    auto settings = store();
    settings.clear();
    settings.sync();
    MessageBox::clearShown();
}

void TestMainWindow::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const QList<std::pair<const char*, const char*>> rows = {
        {"Label1", "Enter Nick:"},
        {"ckAnswer", "Give Answer"},
        {"Frame2", "Set Trivia Timers"},
        {"Label2", "Time To Get Next Question [Sec's]:"},
        {"Label3", "Time To Give Answer [Sec's]:"},
        {"lbl_GiveAnswer", "Time To Give Answer [secs]:"},
        {"Frame1", "Cheat Box"},
        {"cmd_connect", "&Connect"},
        {"lbl_stat", "Not Connected"},
        {"mnu_File", "&File"},
        {"mnuResetScores", "&Edit Scores"},
        {"MnuACQ", "&Add Categories/Questions"},
        {"mnu_EditAddUsers", "Add &Users"},
        {"mnuTray", "&Send To Tray"},
        {"mnuShow", "&Show"},
        {"mnuCancel", "&Cancel"},
        {"mnu_exit", "&Exit Trivia"},
    };
    for (const auto& [name, caption] : rows)
        QTest::newRow(name) << name << caption;
}

void TestMainWindow::controls() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    FakeDesktop desk;
    ManualEventPump pump;
    MainWindow w(desk.api(), pump, programFolder_.path());
    QCOMPARE(w.objectName(), QString("frm_Vantro"));
    QCOMPARE(w.windowTitle(), QString("Palvuro Trivia"));
    QObject* control = w.findChild<QObject*>(name);
    QVERIFY2(control, qPrintable(name));
    const char* property = qobject_cast<QGroupBox*>(control) ? "title"
                           : qobject_cast<QMenu*>(control)   ? "title"
                                                             : "text";
    QCOMPARE(control->property(property).toString(), caption);
    if (auto* action = qobject_cast<QAction*>(control)) {
        const bool hiddenAtStart = name == "mnuShow" || name == "mnuCancel";
        QCOMPARE(action->isVisible(), !hiddenAtStart);
    }
}

void TestMainWindow::firstRunDefaults() {
    FakeDesktop desk;
    ManualEventPump pump;
    MainWindow w(desk.api(), pump, programFolder_.path());
    auto* answer = w.findChild<QComboBox*>("combo_GiveAnswer");
    auto* pause = w.findChild<QComboBox*>("cbGetNextQuestion");
    QCOMPARE(answer->count(), 120);
    QCOMPARE(pause->count(), 300);
    QCOMPARE(answer->itemText(0), QString("1"));
    QCOMPARE(pause->itemText(299), QString("300"));
    QVERIFY(answer->isEditable() && pause->isEditable());
    QCOMPARE(answer->currentText(), QString("40"));
    QCOMPARE(pause->currentText(), QString("40"));
    QCOMPARE(w.state().giveAnswerSecs, std::int16_t(40));
    QCOMPARE(w.state().nextQuestionSecs, std::int16_t(40));
    QVERIFY(!w.findChild<QCheckBox*>("ckAnswer")->isChecked());
    QVERIFY(!w.state().giveAnswer);
    QVERIFY(w.findChild<QLineEdit*>("txtNick")->text().isEmpty());

    auto* getText = w.findChild<QTimer*>("GetText");
    auto* startGetrandom = w.findChild<QTimer*>("StartGetrandom");
    QVERIFY(getText && startGetrandom);
    QCOMPARE(getText->interval(), 10);
    QCOMPARE(getText->timerType(), Qt::PreciseTimer);
    QCOMPARE(startGetrandom->interval(), 1000);
    QVERIFY(!getText->isActive() && !startGetrandom->isActive());
    QVERIFY(store().allKeys().isEmpty()); // loading writes nothing
}

void TestMainWindow::storedValuesLoad_data() {
    QTest::addColumn<QString>("stored");      // for both timer boxes
    QTest::addColumn<int>("seconds");         // the fields' value
    QTest::addColumn<QString>("answerCheck"); // stored "Give"/"AnswerCheck"
    QTest::addColumn<bool>("ticked");
    QTest::newRow("item") << "75" << 75 << "1" << true;
    QTest::newRow("first character counts") << "12" << 12 << "10" << true;
    QTest::newRow("cleared") << "300" << 300 << "0" << false;
    QTest::newRow("other check value") << "7 seconds" << 7 << "2" << false;
    QTest::newRow("not a number") << "abc" << 0 << "yes" << false;
    QTest::newRow("half to even down") << "12.5" << 12 << "" << false;
    QTest::newRow("half to even up") << "13.5" << 14 << "" << false;
    QTest::newRow("out of list") << "999" << 999 << "" << false;
    QTest::newRow("beyond 16 bits") << "99999999" << 32767 << "" << false;
    QTest::newRow("negative") << " -3" << -3 << "" << false;
}

void TestMainWindow::storedValuesLoad() {
    QFETCH(QString, stored);
    QFETCH(int, seconds);
    QFETCH(QString, answerCheck);
    QFETCH(bool, ticked);
    {
        auto settings = store();
        settings.setValue("Give/Answer", stored);
        settings.setValue("Get/Question", stored);
        settings.setValue("Give/AnswerCheck", answerCheck);
        settings.setValue("Nick/Name", "  Quiz Master ");
    }
    FakeDesktop desk;
    ManualEventPump pump;
    MainWindow w(desk.api(), pump, programFolder_.path());
    QCOMPARE(w.findChild<QComboBox*>("combo_GiveAnswer")->currentText(), stored);
    QCOMPARE(w.findChild<QComboBox*>("cbGetNextQuestion")->currentText(), stored);
    QCOMPARE(int(w.state().giveAnswerSecs), seconds);
    QCOMPARE(int(w.state().nextQuestionSecs), seconds);
    QCOMPARE(w.findChild<QCheckBox*>("ckAnswer")->isChecked(), ticked);
    QCOMPARE(w.state().giveAnswer, ticked);
    QCOMPARE(w.findChild<QLineEdit*>("txtNick")->text(), QString("  Quiz Master "));
    QCOMPARE(store().value("Give/AnswerCheck").toString(), answerCheck); // loading rewrites nothing
}

void TestMainWindow::choicesAreStoredTypedTextIsNot() {
    FakeDesktop desk;
    ManualEventPump pump;
    {
        MainWindow w(desk.api(), pump, programFolder_.path());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* answer = w.findChild<QComboBox*>("combo_GiveAnswer");
        auto* pause = w.findChild<QComboBox*>("cbGetNextQuestion");

        // Typed text that matches an item, committed with Enter and by leaving the box.
        answer->setFocus();
        answer->lineEdit()->selectAll();
        QTest::keyClicks(answer->lineEdit(), "74");
        QTest::keyClick(answer->lineEdit(), Qt::Key_Return);
        pause->setFocus();
        pause->lineEdit()->selectAll();
        QTest::keyClicks(pause->lineEdit(), "12");
        answer->setFocus();
        QTest::qWait(20);
        QVERIFY(!store().contains("Give/Answer"));
        QVERIFY(!store().contains("Get/Question"));
        QCOMPARE(w.state().giveAnswerSecs, std::int16_t(40));
        QCOMPARE(w.state().nextQuestionSecs, std::int16_t(40));

        // Choosing from the list (the arrow key moves to the next item).
        w.state().answerTicks = 55;
        QTest::keyClick(answer, Qt::Key_Down);
        QCOMPARE(answer->currentText(), QString("75"));
        QCOMPARE(store().value("Give/Answer").toString(), QString("75"));
        QCOMPARE(w.state().giveAnswerSecs, std::int16_t(75));
        QCOMPARE(w.state().answerTicks, std::int16_t(0));
        pause->setCurrentIndex(8);
        QTest::qWait(20);
        QTest::keyClick(pause, Qt::Key_Down);
        QCOMPARE(store().value("Get/Question").toString(), QString("10"));
        QCOMPARE(w.state().nextQuestionSecs, std::int16_t(10));

        auto* check = w.findChild<QCheckBox*>("ckAnswer");
        check->click();
        QCOMPARE(store().value("Give/AnswerCheck").toString(), QString("1"));
        QVERIFY(w.state().giveAnswer);
        check->click();
        QCOMPARE(store().value("Give/AnswerCheck").toString(), QString("0"));
        check->click();
        w.findChild<QLineEdit*>("txtNick")->setText("EDITED"); // editing alone stores nothing
    }
    MainWindow again(desk.api(), pump, programFolder_.path());
    QCOMPARE(again.findChild<QComboBox*>("combo_GiveAnswer")->currentText(), QString("75"));
    QCOMPARE(again.state().giveAnswerSecs, std::int16_t(75));
    QCOMPARE(again.state().nextQuestionSecs, std::int16_t(10));
    QVERIFY(again.findChild<QCheckBox*>("ckAnswer")->isChecked());
    QVERIFY(again.findChild<QLineEdit*>("txtNick")->text().isEmpty());
}

void TestMainWindow::connectDecisions_data() {
    QTest::addColumn<QString>("desktop"); // "client", "none", "no room"
    QTest::addColumn<QString>("nick");
    QTest::addColumn<int>("icon"); // -1: no box
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<QString>("storedNick");
    const int critical = int(MessageBox::Icon::Critical);
    const int exclamation = int(MessageBox::Icon::Exclamation);
    QTest::newRow("client") << "client"
                            << "  Quiz Bot  " << -1 << "" << false << "Quiz Bot";
    QTest::newRow("blanks only pass") << "client"
                                      << "   " << -1 << "" << false << "";
    QTest::newRow("no client") << "none"
                               << "Bot" << critical << "Unable To Find Internet Explorer" << true << "<none>";
    QTest::newRow("no client, no nick")
        << "none"
        << "" << critical << "Unable To Find Internet Explorer" << true << "<none>";
    QTest::newRow("empty nick") << "client"
                                << "" << exclamation << "You Must Enter Your Nick Name" << false << "<none>";
    QTest::newRow("no room") << "no room"
                             << "Bot" << exclamation << "Unable To Locate Chat Room" << true << "Bot";
}

void TestMainWindow::connectDecisions() {
    QFETCH(QString, desktop);
    QFETCH(QString, nick);
    QFETCH(int, icon);
    QFETCH(QString, box);
    QFETCH(bool, ends);
    QFETCH(QString, storedNick);

    FakeDesktop desk;
    WindowRegistry bare;
    LocalWindowApi bareApi(bare);
    if (desktop == "no room") {
        // The client's title, but its windows are not a room.
        const Hwnd top = bare.create(0, "Palvuro20Frame", "PALVURO 2.0");
        const Hwnd panel = bare.create(top, "AfxWnd70", "");
        bare.create(panel, "RichEdit20W");
        bare.create(panel, "Edit");
    }
    WindowApi& api = desktop == "client" ? desk.api() : static_cast<WindowApi&>(bareApi);
    ManualEventPump pump;
    MainWindow w(api, pump, programFolder_.path());
    QSignalSpy ending(&w, &MainWindow::programEnding);
    w.findChild<QLineEdit*>("txtNick")->setText(nick);
    QTest::mouseClick(w.findChild<QPushButton*>("cmd_connect"), Qt::LeftButton);

    if (icon < 0) {
        QVERIFY(MessageBox::shown().empty());
    } else {
        QCOMPARE(MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(int(MessageBox::shown().front().icon), icon);
        QCOMPARE(MessageBox::shown().front().text, box);
    }
    QCOMPARE(ending.count(), ends ? 1 : 0);
    const bool connected = icon < 0;
    QCOMPARE(w.findChild<QLabel*>("lbl_stat")->text(),
             QString(connected ? "Trivia Connected" : "Not Connected"));
    QCOMPARE(w.findChild<QTimer*>("GetText")->isActive(), connected);
    QCOMPARE(store().value("Nick/Name", "<none>").toString(), storedNick);
    if (connected) {
        QCOMPARE(w.state().botNick, nick.toUpper().trimmed());
        QVERIFY(!desk.room().noticesOn());
    }
}

void TestMainWindow::connectThenExitSpacesTheLines() {
    FakeDesktop desk;
    ManualEventPump pump(5000);
    InputLog log;
    recordInput(desk, pump, log);
    MainWindow w(desk.api(), pump, programFolder_.path());
    QSignalSpy ending(&w, &MainWindow::programEnding);
    w.findChild<QLineEdit*>("txtNick")->setText("TriviaBot");
    w.cmd_connect_Click();
    QCOMPARE(log.texts, QStringList{"/notifyoff"});
    QCOMPARE(log.ticks.front(), 5000u); // the first line is not delayed

    // A second connect searches afresh and finds the same room.
    w.cmd_connect_Click();
    QCOMPARE(w.state().chatSendButton, desk.room().sendButton());

    w.show();
    w.findChild<QAction*>("mnu_exit")->trigger();
    QCOMPARE(log.texts, (QStringList{"/notifyoff", "/notifyoff", "[Trivia Ended]"}));
    QVERIFY(log.ticks[1] - log.ticks[0] >= ChatLink::SendSpacingMs);
    QVERIFY(log.ticks[2] - log.ticks[1] >= ChatLink::SendSpacingMs);
    QCOMPARE(desk.linesBy("TriviaBot"), QStringList{"[Trivia Ended]"});
    QCOMPARE(ending.count(), 1);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.state().gameRunning);
}

void TestMainWindow::textBeforeConnectIsNotNew() {
    FakeDesktop desk;
    ManualEventPump pump;
    desk.say("ANNA", "!HELP");
    desk.say("BOB", "hello");
    MainWindow w(desk.api(), pump, programFolder_.path());
    w.findChild<QLineEdit*>("txtNick")->setText("TriviaBot");
    w.cmd_connect_Click();
    for (int i = 0; i < 5; ++i)
        w.bot().getTextTimer();
    QVERIFY(desk.privateMessages().isEmpty());

    desk.say("CARL", "!HELP");
    for (int i = 0; i < 5; ++i)
        w.bot().getTextTimer();
    QCOMPARE(desk.privateMessages().size(), 1);
    QCOMPARE(desk.privateMessages().front().to, QString("CARL"));
}

void TestMainWindow::adminWindowsOpenOnce_data() {
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QString>("window");
    QTest::newRow("scores") << "mnuResetScores"
                            << "frmEditScores";
    QTest::newRow("categories") << "MnuACQ"
                                << "frmCatergories";
    QTest::newRow("users") << "mnu_EditAddUsers"
                           << "frmTriviaUsers";
}

void TestMainWindow::adminWindowsOpenOnce() {
    QFETCH(QString, menuItem);
    QFETCH(QString, window);
    FakeDesktop desk;
    ManualEventPump pump;
    MainWindow w(desk.api(), pump, programFolder_.path());
    QAction* item = w.findChild<QAction*>(menuItem);
    const auto open = [&] { return w.findChildren<QWidget*>(window); };

    item->trigger();
    QCOMPARE(open().size(), 1);
    QPointer<QWidget> first = open().front();
    QVERIFY(first->isVisible() && first->isWindow());
    item->trigger(); // the open one again
    QCOMPARE(open().size(), 1);
    QCOMPARE(open().front(), first.data());

    first->close(); // closing discards it; the next use makes a fresh one
    QTRY_VERIFY(first.isNull());
    item->trigger();
    QCOMPARE(open().size(), 1);
    QVERIFY(open().front()->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
