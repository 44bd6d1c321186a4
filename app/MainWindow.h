#pragma once

#include "app/AdminWindowSlot.h"
#include "chat/AutoConnect.h"
#include "chat/GameTimings.h"
#include "chat/TimerSwitch.h"
#include "data/SettingsStore.h"
#include "data/TriviaStore.h"

#include <QMainWindow>
#include <QString>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace palvuro {

class EventPump;
class TrayMenuState;
class TriviaBot;
class TriviaTray;
class WindowApi;

// frm_Vantro, the operator's console: the bot's nick, "&Connect", the two timer boxes, the
// reveal switch, the status line and the cheat box. It owns the bot, sets its timings from the
// boxes and forwards the menu commands to it.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(WindowApi& windows, EventPump& pump, const TriviaStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    GameTimings& timings();
    bool inTray() const { return inTray_; }
    TriviaBot& bot() { return *bot_; }
    TimerSwitch& getTextTimer();
    TriviaTray& tray() { return *tray_; }
    TrayMenuState& trayState() { return *trayState_; }
    AdminWindowSlot& scoreEditor() { return scoreEditor_; }
    AdminWindowSlot& categoryEditor() { return categoryEditor_; }
    AdminWindowSlot& usersEditor() { return usersEditor_; }

    // --connect: once the window is up, "Enter Nick:" gets the nick and the bot connects as the
    // operator's click would, except that failures are logged and retried, never shown.
    void connectAutomatically(const QString& nick);
    const AutoConnect* autoConnect() const { return autoConnect_; }

    // RamdomQuestion: picks, shows and asks a question.
    void ramdomQuestion();

    // The window's event handlers.
    void cmd_connect_Click();
    void combo_GiveAnswer_Click(int index);
    void cbGetNextQuestion_Click(int index);
    void ckAnswer_Click();
    void mnuResetScores_Click();
    void MnuACQ_Click();
    void mnu_EditAddUsers_Click();
    void mnuTray_Click();
    void mnuShow_Click();
    void mnu_exit_Click();
    void Form_MouseMove(int message);
    // Form_QueryUnload: true when the close is refused. The close box hides the window to the
    // tray; any other close ends the program.
    bool Form_QueryUnload(bool fromCloseBox);

Q_SIGNALS:
    // The program ends: emitted once; the program entry quits its event loop on it.
    void programEnding();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    QGroupBox* buildTimersFrame();
    QGroupBox* buildCheatFrame();
    void buildMenu();
    void connectHandlers();
    void formLoad();
    std::int16_t loadTimerBox(QComboBox* box, SettingsStore::Key key);
    void endProgram();
    // The connect procedure up to the first failure, which it reports instead of showing.
    AutoConnect::Outcome connectToChat();

    bool inTray_ = false;
    std::unique_ptr<TriviaBot> bot_;

    QLineEdit* txtNick_ = nullptr;
    QCheckBox* ckAnswer_ = nullptr;
    QComboBox* cbGetNextQuestion_ = nullptr;
    QComboBox* combo_GiveAnswer_ = nullptr;
    QPlainTextEdit* txt_cheat_ = nullptr;
    QPushButton* cmd_connect_ = nullptr;
    QLabel* lbl_stat_ = nullptr;
    QMenu* mnu_File_ = nullptr;
    QAction* mnuResetScores_ = nullptr;
    QAction* MnuACQ_ = nullptr;
    QAction* mnu_EditAddUsers_ = nullptr;
    QAction* mnuTray_ = nullptr;
    QAction* mnuShow_ = nullptr;
    QAction* mnuCancel_ = nullptr;
    QAction* mnu_exit_ = nullptr;

    WindowApi& windows_;
    AutoConnect* autoConnect_ = nullptr;
    TriviaTray* tray_ = nullptr;
    std::unique_ptr<TrayMenuState> trayState_;
    AdminWindowSlot scoreEditor_;
    AdminWindowSlot categoryEditor_;
    AdminWindowSlot usersEditor_;
    bool ending_ = false;
};

} // namespace palvuro
