#include "tray/TriviaTray.h"

#include "widgets/Offscreen.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace palvuro {
namespace {

int messageOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return TriviaTray::LButtonDblClk;
    case QSystemTrayIcon::Context:
        return TriviaTray::RButtonUp;
    case QSystemTrayIcon::MiddleClick:
        return TriviaTray::MButtonUp;
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return TriviaTray::LButtonUp;
}

} // namespace

TriviaTray::TriviaTray(QWidget& window, QObject* parent) : QObject(parent), window_(window) {}

QSystemTrayIcon& TriviaTray::icon() {
    if (!icon_) {
        icon_ = new QSystemTrayIcon(this);
        // No context menu is set on the icon: a right click reaches the window as a mouse message
        // and the window decides whether to pop up its File menu.
        connect(icon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { Q_EMIT mouseMessage(messageOf(reason)); });
    }
    return *icon_;
}

void TriviaTray::addTrayIcon(const QString& tip) {
    tip_ = tip;
    iconShown_ = true;
    if (systemTrayAvailable()) {
        icon().setIcon(window_.windowIcon());
        icon().setToolTip(tip);
        icon().show();
        window_.hide();
    } else {
        // Hiding with nowhere to click would strand the operator; minimized, the window stays
        // in the taskbar, and restoring it from there counts as coming back from the tray.
        window_.showMinimized();
    }
}

void TriviaTray::removeTrayIcon() {
    iconShown_ = false;
    if (icon_)
        icon_->hide();
}

bool TriviaTray::systemTrayAvailable() const {
    if (trayAvailable_)
        return *trayAvailable_;
    return !Offscreen::active() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool TriviaTray::iconShown() const {
    return iconShown_;
}

QString TriviaTray::tip() const {
    return tip_;
}

} // namespace palvuro
