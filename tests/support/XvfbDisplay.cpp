#include "tests/support/XvfbDisplay.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

namespace palvuro {

namespace {

constexpr int kToolTimeoutMs = 15000;
constexpr int kServerStartMs = 20000;
constexpr int kPollMs = 50;
constexpr int kFirstDisplay = 200;
constexpr int kLastDisplay = 900;
constexpr int kDisplayAttempts = 20;

// The process id an X server writes into the lock file of its display, or 0.
qint64 lockHolder(int number) {
    QFile lock(QStringLiteral("/tmp/.X%1-lock").arg(number));
    if (!lock.open(QIODevice::ReadOnly))
        return 0;
    return lock.readAll().trimmed().toLongLong();
}

} // namespace

XvfbDisplay::XvfbDisplay() = default;

XvfbDisplay::~XvfbDisplay() {
    stop();
}

QString XvfbDisplay::missingTools() {
    QStringList missing;
    for (const char* program : {"Xvfb", "xdotool", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
            missing << QLatin1String(program);
    }
    return missing.isEmpty() ? QString()
                             : QStringLiteral("not installed: ") + missing.join(QLatin1String(", "));
}

bool XvfbDisplay::start(QString* error) {
    // A display number picked at random far above the usual ones; a number another server
    // holds makes this one exit at once, and the next is tried. The server counts as up once a
    // client has connected to it.
    int number = QRandomGenerator::global()->bounded(kFirstDisplay, kLastDisplay);
    for (int attempt = 0; attempt < kDisplayAttempts; ++attempt, ++number) {
        if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
            QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            continue;
        display_ = QStringLiteral(":%1").arg(number);
        server_.setStandardOutputFile(QProcess::nullDevice());
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start(QStringLiteral("Xvfb"),
                      {display_, QStringLiteral("-screen"), QStringLiteral("0"),
                       QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server_.waitForStarted()) {
            *error = QStringLiteral("Xvfb did not start: ") + server_.errorString();
            return false;
        }
        const QDeadlineTimer deadline(kServerStartMs);
        while (server_.state() == QProcess::Running && !deadline.hasExpired()) {
            // The lock names the server that holds the number: ours, not one that a parallel
            // run started a moment earlier (ours then ends, and a client would reach theirs).
            if (lockHolder(number) == server_.processId() &&
                tool(QStringLiteral("xwininfo"), {QStringLiteral("-root")}))
                return true;
            QTest::qWait(kPollMs);
        }
        stop();
    }
    display_.clear();
    *error = QStringLiteral("no X server could be started");
    return false;
}

void XvfbDisplay::stop() {
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
        server_.kill();
        server_.waitForFinished(5000);
    }
}

quint64 XvfbDisplay::waitForWindow(const QString& title, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QList<quint64> found = viewable(title);
        if (!found.isEmpty())
            return found.first();
        if (deadline.hasExpired())
            return 0;
        QTest::qWait(kPollMs);
    }
}

int XvfbDisplay::countViewable(const QString& title) const {
    return int(viewable(title).size());
}

// The root window's children as xwininfo lists them, one a line: `0x20001b "Title": (...)`.
// (xdotool's search misses the short-lived windows of pop-up menus.)
QList<quint64> XvfbDisplay::viewable(const QString& title) const {
    QString out;
    if (!tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-children")}, &out))
        return {};
    const QString quoted = QLatin1Char('"') + title + QStringLiteral("\":");
    QList<quint64> windows;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        const qsizetype blank = trimmed.indexOf(QLatin1Char(' '));
        if (!trimmed.startsWith(QLatin1String("0x")) || blank < 0 ||
            !trimmed.mid(blank + 1).startsWith(quoted))
            continue;
        bool ok = false;
        const quint64 id = trimmed.left(blank).toULongLong(&ok, 16);
        if (ok && isViewable(id))
            windows << id;
    }
    return windows;
}

bool XvfbDisplay::focus(quint64 window, int timeoutMs) const {
    const QString id = QString::number(window);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        tool(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), id});
        QString out;
        if (tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}, &out) && out.trimmed() == id)
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(kPollMs);
    }
}

bool XvfbDisplay::keys(const QStringList& names) const {
    return tool(QStringLiteral("xdotool"),
                QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + names);
}

bool XvfbDisplay::type(const QString& text) const {
    return tool(QStringLiteral("xdotool"),
                {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

bool XvfbDisplay::isViewable(quint64 window) const {
    QString out;
    return tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)}, &out) &&
           out.contains(QLatin1String("IsViewable"));
}

bool XvfbDisplay::screenshot(quint64 window, const QString& path) const {
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        return false;
    return tool(QStringLiteral("import"), {QStringLiteral("-window"), QString::number(window), path});
}

bool XvfbDisplay::tool(const QString& program, const QStringList& args, QString* output) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
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
