#include "tests/support/XvfbDisplay.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace palvuro {

namespace {

constexpr int kToolTimeoutMs = 15000;
constexpr int kServerStartMs = 20000;
constexpr int kDisplayAttempts = 20;

QString lockFile(int number) {
    return QStringLiteral("/tmp/.X%1-lock").arg(number);
}

// The process id an X server writes into the lock file of its display, or 0.
qint64 lockHolder(int number) {
    QFile lock(lockFile(number));
    return lock.open(QIODevice::ReadOnly) ? lock.readAll().trimmed().toLongLong() : 0;
}

} // namespace

bool XvfbDisplay::poll(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

bool XvfbDisplay::start(QString* error) {
    // A display number picked at random far above the usual ones; a number another server
    // holds makes this one exit at once, and the next is tried.
    int number = QRandomGenerator::global()->bounded(200, 900);
    for (int attempt = 0; attempt < kDisplayAttempts; ++attempt, ++number) {
        if (QFile::exists(lockFile(number)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            continue;
        display_ = QStringLiteral(":%1").arg(number);
        server_.setStandardOutputFile(QProcess::nullDevice());
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start("Xvfb", {display_, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        if (!server_.waitForStarted()) {
            *error = QStringLiteral("Xvfb did not start: ") + server_.errorString();
            return false;
        }
        // Up once a client has connected, and ours: the lock names the server holding the
        // number, not one that a parallel run started a moment earlier (ours then ends).
        if (poll(
                [&] {
                    return server_.state() != QProcess::Running ||
                           (lockHolder(number) == server_.processId() && tool("xwininfo", {"-root"}));
                },
                kServerStartMs) &&
            server_.state() == QProcess::Running)
            return true;
        stop();
    }
    *error = QStringLiteral("no X server could be started");
    return false;
}

void XvfbDisplay::stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// The root window's children as xwininfo lists them, one a line: `0x20001b "Title": (...)`.
// (xdotool's search misses the short-lived windows of pop-up menus.)
QList<quint64> XvfbDisplay::windows(const QString& title) const {
    const QRegularExpression child(QStringLiteral("^\\s*0x([0-9a-f]+) \"(.*?)\": "),
                                   QRegularExpression::MultilineOption);
    QString out;
    tool("xwininfo", {"-root", "-children"}, &out);
    QList<quint64> found;
    for (auto it = child.globalMatch(out); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const quint64 id = m.captured(1).toULongLong(nullptr, 16);
        if (m.captured(2) == title && isViewable(id))
            found << id;
    }
    return found;
}

quint64 XvfbDisplay::waitForWindow(const QString& title, int timeoutMs) const {
    QList<quint64> found;
    poll([&] { return !(found = windows(title)).isEmpty(); }, timeoutMs);
    return found.isEmpty() ? 0 : found.first();
}

bool XvfbDisplay::isViewable(quint64 window) const {
    QString out;
    return tool("xwininfo", {"-id", QString::number(window)}, &out) &&
           out.contains(QLatin1String("IsViewable"));
}

bool XvfbDisplay::focus(quint64 window) const {
    const QString id = QString::number(window);
    return poll(
        [&] {
            QString out;
            return tool("xdotool", {"windowfocus", id}) && tool("xdotool", {"getwindowfocus"}, &out) &&
                   out.trimmed() == id;
        },
        5000);
}

bool XvfbDisplay::keys(const QStringList& names) const {
    return tool("xdotool", QStringList{"key", "--delay", "60"} + names);
}

bool XvfbDisplay::type(const QString& text) const {
    return tool("xdotool", {"type", "--delay", "20", text});
}

bool XvfbDisplay::tool(const QString& program, const QStringList& args, QString* output) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace palvuro
