#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QSystemTrayIcon;
class QWidget;

namespace palvuro {

// The main window's icon in the notification area. Adding the icon hides the window; the
// icon's mouse actions come back as the mouse message numbers the window's handler compares.
class TriviaTray : public QObject {
    Q_OBJECT
public:
    static constexpr int LButtonUp = 514;     // single click
    static constexpr int LButtonDblClk = 515; // double click: restore
    static constexpr int RButtonUp = 517;     // right click: the File menu
    static constexpr int MButtonUp = 520;

    explicit TriviaTray(QWidget& window, QObject* parent = nullptr);

    // AddTrayIcon: shows the icon with the window's own icon and the tip, then hides the window.
    void addTrayIcon(const QString& tip);
    // RemoveTrayIcon: harmless when there is no icon.
    void removeTrayIcon();

    bool iconShown() const;
    QString tip() const;

    // Whether the desktop has a notification area right now: a panel may start after the bot.
    // Without one the window is minimized instead of hidden, so that the taskbar or window
    // list still leads back to it. With no display there is none, and nothing asks the desktop.
    bool systemTrayAvailable() const;
    // Tests decide the answer instead of the desktop.
    void setSystemTrayAvailable(bool available) { trayAvailable_ = available; }

Q_SIGNALS:
    // A mouse action on the icon, as its window message number.
    void mouseMessage(int message);

private:
    QSystemTrayIcon& icon();

    QWidget& window_;
    // Made on first use in a notification area, so that a bot with no display never has one.
    QSystemTrayIcon* icon_ = nullptr;
    QString tip_;
    std::optional<bool> trayAvailable_;
    bool iconShown_ = false;
};

} // namespace palvuro
