#include "app/MainWindow.h"

#include "data/Spaces.h"

#include "app/AdminWindows.h"
#include "app/ListChoice.h"
#include "app/ProgramIcon.h"
#include "app/TimerSeconds.h"
#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "commands/TriviaBot.h"
#include "tray/TrayMenuState.h"
#include "tray/TriviaTray.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace palvuro {
namespace {

constexpr int AnswerSecondsItems = 120;
constexpr int PauseSecondsItems = 300;

QComboBox* makeSecondsBox(const char* name) {
    auto* box = new QComboBox;
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    // Typed text is only shown; it never becomes an item.
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

// "1" to "count", ascending.
void fillSeconds(QComboBox* box, int count) {
    QStringList texts;
    texts.reserve(count);
    for (int i = 1; i <= count; ++i)
        texts << QString::number(i);
    box->addItems(texts);
}

QLabel* makeLabel(const char* name, const char* caption) {
    auto* label = new QLabel(QString::fromLatin1(caption));
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

MainWindow::MainWindow(WindowApi& windows, EventPump& pump, const TriviaStore& store, QWidget* parent)
    : QMainWindow(parent), windows_(windows), scoreEditor_(AdminWindows::scoreEditor(store)),
      categoryEditor_(AdminWindows::categoryEditor(store)), usersEditor_(AdminWindows::usersEditor(store)) {
    setObjectName(QStringLiteral("frm_Vantro"));
    setWindowTitle(QStringLiteral("Palvuro Trivia"));
    setWindowIcon(ProgramIcon::make());
    buildControls();
    buildMenu();

    TriviaBot::Hooks hooks;
    hooks.showCheat = [this](const QString& answer) { txt_cheat_->setPlainText(answer); };
    hooks.fatalError = [this](const QString& description, int number) {
        MessageBox::show(this, MessageBox::Icon::None, description);
        MessageBox::show(this, MessageBox::Icon::None, QString::number(number));
        Form_QueryUnload(false);
    };
    bot_ = std::make_unique<TriviaBot>(windows, pump, store, std::move(hooks));
    bot_->clocks().driveFromEventLoop();

    tray_ = new TriviaTray(*this, this);
    trayState_ = std::make_unique<TrayMenuState>(
        *tray_, *this, TrayMenuState::Items{mnuTray_, mnuShow_, mnuCancel_, mnu_File_}, inTray_);
    connectHandlers();
    formLoad();
}

MainWindow::~MainWindow() = default;

GameTimings& MainWindow::timings() {
    return bot_->timings();
}

TimerSwitch& MainWindow::getTextTimer() {
    return bot_->clocks().reader();
}

void MainWindow::buildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* nickRow = new QHBoxLayout;
    txtNick_ = new QLineEdit;
    txtNick_->setObjectName(QStringLiteral("txtNick"));
    nickRow->addWidget(makeLabel("Label1", "Enter Nick:"));
    nickRow->addWidget(txtNick_);
    layout->addLayout(nickRow);

    ckAnswer_ = new QCheckBox(QStringLiteral("Give Answer"));
    ckAnswer_->setObjectName(QStringLiteral("ckAnswer"));
    layout->addWidget(ckAnswer_);
    layout->addWidget(buildTimersFrame());
    layout->addWidget(buildCheatFrame());

    auto* statusRow = new QHBoxLayout;
    cmd_connect_ = new QPushButton(QStringLiteral("&Connect"));
    cmd_connect_->setObjectName(QStringLiteral("cmd_connect"));
    lbl_stat_ = makeLabel("lbl_stat", "Not Connected");
    statusRow->addWidget(cmd_connect_);
    statusRow->addWidget(lbl_stat_, 1);
    layout->addLayout(statusRow);
    setCentralWidget(central);
}

QGroupBox* MainWindow::buildTimersFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Set Trivia Timers"));
    frame->setObjectName(QStringLiteral("Frame2"));
    cbGetNextQuestion_ = makeSecondsBox("cbGetNextQuestion");
    combo_GiveAnswer_ = makeSecondsBox("combo_GiveAnswer");
    auto* grid = new QGridLayout(frame);
    grid->addWidget(makeLabel("Label2", "Time To Get Next Question [Sec's]:"), 0, 0);
    grid->addWidget(cbGetNextQuestion_, 0, 1);
    grid->addWidget(makeLabel("Label3", "Time To Give Answer [Sec's]:"), 1, 0);
    grid->addWidget(combo_GiveAnswer_, 1, 1);
    // A second caption for the answer time that nothing changes: kept under its name, out of
    // sight so that the frame does not show the caption twice.
    auto* staticCaption = makeLabel("lbl_GiveAnswer", "Time To Give Answer [secs]:");
    staticCaption->setVisible(false);
    grid->addWidget(staticCaption, 2, 0);
    return frame;
}

QGroupBox* MainWindow::buildCheatFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Cheat Box"));
    frame->setObjectName(QStringLiteral("Frame1"));
    txt_cheat_ = new QPlainTextEdit;
    txt_cheat_->setObjectName(QStringLiteral("txt_cheat"));
    txt_cheat_->setReadOnly(true);
    txt_cheat_->setMaximumBlockCount(1000);
    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(txt_cheat_);
    return frame;
}

void MainWindow::buildMenu() {
    mnu_File_ = menuBar()->addMenu(QStringLiteral("&File"));
    mnu_File_->setObjectName(QStringLiteral("mnu_File"));
    const auto item = [this](const char* name, const char* caption) {
        QAction* action = mnu_File_->addAction(QString::fromLatin1(caption));
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuResetScores_ = item("mnuResetScores", "&Edit Scores");
    MnuACQ_ = item("MnuACQ", "&Add Categories/Questions");
    mnu_EditAddUsers_ = item("mnu_EditAddUsers", "Add &Users");
    mnuTray_ = item("mnuTray", "&Send To Tray");
    mnuShow_ = item("mnuShow", "&Show");
    mnuCancel_ = item("mnuCancel", "&Cancel");
    mnu_exit_ = item("mnu_exit", "&Exit Trivia");
}

void MainWindow::connectHandlers() {
    connect(cmd_connect_, &QPushButton::clicked, this, &MainWindow::cmd_connect_Click);
    connect(ckAnswer_, &QCheckBox::clicked, this, &MainWindow::ckAnswer_Click);
    connect(new ListChoice(*combo_GiveAnswer_), &ListChoice::chosen, this,
            &MainWindow::combo_GiveAnswer_Click);
    connect(new ListChoice(*cbGetNextQuestion_), &ListChoice::chosen, this,
            &MainWindow::cbGetNextQuestion_Click);
    connect(mnuResetScores_, &QAction::triggered, this, &MainWindow::mnuResetScores_Click);
    connect(MnuACQ_, &QAction::triggered, this, &MainWindow::MnuACQ_Click);
    connect(mnu_EditAddUsers_, &QAction::triggered, this, &MainWindow::mnu_EditAddUsers_Click);
    connect(mnuTray_, &QAction::triggered, this, &MainWindow::mnuTray_Click);
    connect(mnuShow_, &QAction::triggered, this, &MainWindow::mnuShow_Click);
    connect(mnu_exit_, &QAction::triggered, this, &MainWindow::mnu_exit_Click);
    connect(tray_, &TriviaTray::mouseMessage, this, &MainWindow::Form_MouseMove);
}

void MainWindow::formLoad() {
    fillSeconds(combo_GiveAnswer_, AnswerSecondsItems);
    fillSeconds(cbGetNextQuestion_, PauseSecondsItems);
    timings().setAnswerSecs(loadTimerBox(combo_GiveAnswer_, SettingsStore::GiveAnswer));
    timings().setNextQuestionSecs(loadTimerBox(cbGetNextQuestion_, SettingsStore::NextQuestion));
    const QString check = SettingsStore::read(SettingsStore::AnswerCheck).left(1);
    if (check == QLatin1String("1") || check == QLatin1String("0"))
        ckAnswer_->setChecked(check == QLatin1String("1"));
    timings().setGiveAnswer(ckAnswer_->isChecked());
    txtNick_->setText(SettingsStore::read(SettingsStore::NickName));
}

std::int16_t MainWindow::loadTimerBox(QComboBox* box, SettingsStore::Key key) {
    QString text = SettingsStore::read(key);
    if (text.isEmpty())
        text = QLatin1String(SettingsStore::DefaultSeconds);
    const int item = box->findText(text);
    if (item >= 0)
        box->setCurrentIndex(item);
    else
        box->setEditText(text);
    return TimerSeconds::parse(text);
}

void MainWindow::ramdomQuestion() {
    bot_->ramdomQuestion();
}

void MainWindow::cmd_connect_Click() {
    switch (connectToChat()) {
    case AutoConnect::Outcome::NoClient:
        MessageBox::show(this, MessageBox::Icon::Critical,
                         QStringLiteral("Unable To Find Internet Explorer"));
        endProgram();
        break;
    case AutoConnect::Outcome::NoNick:
        MessageBox::show(this, MessageBox::Icon::Exclamation,
                         QStringLiteral("You Must Enter Your Nick Name"));
        txtNick_->setFocus();
        break;
    case AutoConnect::Outcome::NoRoom:
        MessageBox::show(this, MessageBox::Icon::Exclamation, QStringLiteral("Unable To Locate Chat Room"));
        endProgram();
        break;
    case AutoConnect::Outcome::Connected:
        break;
    }
}

AutoConnect::Outcome MainWindow::connectToChat() {
    ChatLink& link = bot_->link();
    if (!link.findChatMainWindow())
        return AutoConnect::Outcome::NoClient;
    if (txtNick_->text().isEmpty())
        return AutoConnect::Outcome::NoNick;
    SettingsStore::write(SettingsStore::NickName, Spaces::trimmed(txtNick_->text()));
    if (!link.locateChatRoom())
        return AutoConnect::Outcome::NoRoom;
    lbl_stat_->setText(QStringLiteral("Trivia Connected"));
    link.startReading(txtNick_->text());
    return AutoConnect::Outcome::Connected;
}

void MainWindow::connectAutomatically(const QString& nick) {
    txtNick_->setText(nick);
    if (!autoConnect_) {
        autoConnect_ = new AutoConnect(
            bot_->link(), windows_, [this] { return connectToChat(); }, this);
        connect(autoConnect_, &AutoConnect::disconnected, this,
                [this] { lbl_stat_->setText(QStringLiteral("Not Connected")); });
    }
    autoConnect_->start();
}

void MainWindow::combo_GiveAnswer_Click(int index) {
    timings().setAnswerSecs(TimerSeconds::parse(combo_GiveAnswer_->itemText(index)));
    SettingsStore::write(SettingsStore::GiveAnswer, combo_GiveAnswer_->currentText());
    timings().restartAnswerClock();
}

void MainWindow::cbGetNextQuestion_Click(int index) {
    timings().setNextQuestionSecs(TimerSeconds::parse(cbGetNextQuestion_->itemText(index)));
    SettingsStore::write(SettingsStore::NextQuestion, cbGetNextQuestion_->currentText());
    timings().restartAnswerClock();
}

void MainWindow::ckAnswer_Click() {
    timings().setGiveAnswer(ckAnswer_->isChecked());
    SettingsStore::write(SettingsStore::AnswerCheck,
                         timings().givesAnswer() ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::mnuResetScores_Click() {
    scoreEditor_.open(this);
}

void MainWindow::MnuACQ_Click() {
    categoryEditor_.open(this);
}

void MainWindow::mnu_EditAddUsers_Click() {
    usersEditor_.open(this);
}

void MainWindow::mnuTray_Click() {
    trayState_->sendToTray();
}

void MainWindow::mnuShow_Click() {
    trayState_->showWindow();
}

void MainWindow::Form_MouseMove(int message) {
    trayState_->formMouseMove(message);
}

void MainWindow::mnu_exit_Click() {
    if (ending_)
        return;
    // Ends at once: no tick runs while the end line waits its turn, and a line that was
    // waiting when the operator chose to exit is never said after it.
    bot_->clocks().halt();
    tray_->removeTrayIcon();
    bot_->stopTrivia();
    Form_QueryUnload(false);
}

bool MainWindow::Form_QueryUnload(bool fromCloseBox) {
    if (fromCloseBox && !ending_) {
        trayState_->sendToTray();
        return true;
    }
    endProgram();
    return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Only the window system's close box arrives as a spontaneous close; the program's own
    // close() and a session shutdown do not.
    event->setAccepted(!Form_QueryUnload(event->spontaneous()));
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && trayState_)
        trayState_->windowStateChanged();
}

void MainWindow::endProgram() {
    if (ending_)
        return;
    ending_ = true;
    bot_->clocks().halt();
    bot_->link().close();
    // Closing the game's objects is harmless when none is open and keeps a finished game's
    // data tidy whichever way the program ends.
    bot_->closeGame();
    hide();
    Q_EMIT programEnding();
}

} // namespace palvuro
