#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace palvuro {

// A private X server (Xvfb on a free display number) and the person at its keyboard
// (xdotool): finds top-level windows by their whole title, gives one the input focus, presses
// keys and types text into the focused window, and tells whether a window is mapped.
class XvfbDisplay {
public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Empty when Xvfb and xdotool are installed; otherwise a sentence naming what is missing.
    static QString missingTools();

    bool start(QString* error);
    void stop();
    QString name() const { return display_; } // ":N"

    // The first viewable top-level window whose title is exactly `title`, waiting up to
    // timeoutMs for it; 0 when there is none.
    quint64 waitForWindow(const QString& title, int timeoutMs) const;
    int countViewable(const QString& title) const;
    bool focus(quint64 window, int timeoutMs = 5000) const;
    // xdotool key names, pressed one after the other: "alt+f", "Tab", "Return", "e".
    bool keys(const QStringList& names) const;
    bool type(const QString& text) const;
    bool isViewable(quint64 window) const;
    // The window as a PNG (ImageMagick's import); false when import is missing or fails.
    bool screenshot(quint64 window, const QString& path) const;

private:
    QList<quint64> viewable(const QString& title) const;
    bool tool(const QString& program, const QStringList& args, QString* output = nullptr) const;

    QProcess server_;
    QString display_;
};

} // namespace palvuro
