#pragma once

class QAction;
class QMenu;
class QWidget;

namespace palvuro {

class TriviaTray;

// Going to the tray and coming back: the InTray flag, the File menu items that change with it,
// and what the icon's mouse actions do. The bot keeps running either way.
class TrayMenuState {
public:
    struct Items {
        QAction* sendToTray; // mnuTray
        QAction* show;       // mnuShow
        QAction* cancel;     // mnuCancel: no action, choosing it only closes the menu
        QMenu* fileMenu;     // mnu_File, also the icon's pop-up menu
    };

    // inTray is the window's InTray field; it is false when the window opens.
    TrayMenuState(TriviaTray& tray, QWidget& window, Items items, bool& inTray);

    // mnuTray_Click, and the close box.
    void sendToTray();
    // mnuShow_Click.
    void showWindow();
    // Form_MouseMove with the icon's mouse message: double click restores, right click pops up
    // the File menu; nothing at all while not in the tray.
    void formMouseMove(int message);
    // The window's state changed: without a notification area the "tray" is the minimized
    // window, so the operator restoring it comes back as "&Show" does.
    void windowStateChanged();

    bool inTray() const { return inTray_; }

private:
    void setMenuItems(bool trayed);

    TriviaTray& tray_;
    QWidget& window_;
    Items items_;
    bool& inTray_;
};

} // namespace palvuro
