#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace palvuro {

// A private X server (Xvfb on a free display number) and the person at its keyboard
// (xdotool): finds top-level windows by their whole title, gives one the input focus, presses
// keys and types text into the focused window.
class XvfbDisplay {
public:
    ~XvfbDisplay() { stop(); }

    bool start(QString* error);
    void stop() { stop(server_); }
    // Ends a process politely, then firmly.
    static void stop(QProcess& process);
    QString name() const { return display_; } // ":N"

    // The viewable top-level windows whose title is exactly `title`.
    QList<quint64> windows(const QString& title) const;
    // The first of them, waiting up to timeoutMs; 0 when there is none.
    quint64 waitForWindow(const QString& title, int timeoutMs = 30000) const;
    bool isViewable(quint64 window) const;
    bool focus(quint64 window) const;
    // xdotool key names, pressed one after the other: "alt+f", "Tab", "Return", "e".
    bool keys(const QStringList& names) const;
    bool type(const QString& text) const;

    // Polls `done` while the event loop runs, at a pace that spares the machine (each look at
    // the server starts an X client); false when timeoutMs passed first.
    static bool poll(const std::function<bool()>& done, int timeoutMs);

private:
    bool tool(const QString& program, const QStringList& args, QString* output = nullptr) const;

    QProcess server_;
    QString display_;
};

} // namespace palvuro
