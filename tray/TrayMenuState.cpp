#include "tray/TrayMenuState.h"

#include "tray/TriviaTray.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace palvuro {

TrayMenuState::TrayMenuState(TriviaTray& tray, QWidget& window, Items items, bool& inTray)
    : tray_(tray), window_(window), items_(items), inTray_(inTray) {
    inTray_ = false;
    setMenuItems(false);
}

void TrayMenuState::sendToTray() {
    tray_.addTrayIcon(QStringLiteral("Trivia"));
    inTray_ = true;
    setMenuItems(true);
}

void TrayMenuState::showWindow() {
    tray_.removeTrayIcon();
    setMenuItems(false);
    inTray_ = false;
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void TrayMenuState::formMouseMove(int message) {
    if (!inTray_)
        return;
    if (message == TriviaTray::LButtonDblClk)
        showWindow();
    else if (message == TriviaTray::RButtonUp)
        items_.fileMenu->popup(QCursor::pos());
}

void TrayMenuState::windowStateChanged() {
    if (inTray_ && !tray_.systemTrayAvailable() && window_.isVisible() && !window_.isMinimized())
        showWindow();
}

void TrayMenuState::setMenuItems(bool trayed) {
    items_.sendToTray->setVisible(!trayed);
    items_.show->setVisible(trayed);
    items_.cancel->setVisible(trayed);
}

} // namespace palvuro
