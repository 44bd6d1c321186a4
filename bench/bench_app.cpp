// The trivia host's start-up and its idle costs:
//  - startup_ms: in-process, from before the QApplication is made to the main window shown and
//    exposed (platform plugin, fonts, settings, the window and its engine), offscreen;
//  - rss_start_mb: resident memory of a real palvuro-trivia process (a copy in a temporary
//    folder, offscreen, its own settings and runtime folders) once it has settled; this
//    process's own figure when the program is not built;
//  - sendchat_wait_cpu_pct: CPU time of this process (getrusage) while SendChat waits out its
//    1100 ms spacing with the real event pump, as a share of the wall time; also with the main
//    window connected, its 10 ms reader ticking during the wait.
#include "app/MainWindow.h"
#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "commands/TriviaBot.h"
#include "platform/QtEventPump.h"
#include "tests/support/FakeDesktop.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace palvuro;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// VmRSS of a process, in MB; 0 when unknown.
double residentMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return 0;
}

// One send's wait, as CPU percent of its wall time.
double waitCpuPct(ChatLink& link) {
    link.sendChat(QStringLiteral("first"));
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    link.sendChat(QStringLiteral("second"));
    const double cpu = cpuSeconds() - cpu0;
    return 100.0 * cpu / (double(wall.nsecsElapsed()) / 1e9);
}

double bareLinkWaitPct() {
    FakeDesktop desk;
    QtEventPump pump;
    BotClocks clocks(pump, {}, {});
    ChatLink link(desk.api(), clocks);
    if (!link.findChatMainWindow() || !link.locateChatRoom())
        return -1;
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i)
        runs.push_back(waitCpuPct(link));
    return median(runs);
}

double connectedWindowWaitPct(const QString& folder) {
    FakeDesktop desk;
    QtEventPump pump;
    MainWindow window(desk.api(), pump, folder);
    window.findChild<QLineEdit*>(QStringLiteral("txtNick"))->setText(QStringLiteral("TriviaBot"));
    window.cmd_connect_Click();
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i)
        runs.push_back(waitCpuPct(window.bot().link()));
    return median(runs);
}

double programRssMb(const QString& binDir, const QTemporaryDir& scratch) {
    const QString source = QDir(binDir).filePath(QStringLiteral("palvuro-trivia"));
    const QString copy = QDir(scratch.path()).filePath(QStringLiteral("program/palvuro-trivia"));
    QDir().mkpath(QFileInfo(copy).absolutePath());
    if (binDir.isEmpty() || !QFile::copy(source, copy))
        return 0;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(scratch.path()).filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir(scratch.path()).filePath(QStringLiteral("runtime")));
    QDir().mkpath(env.value(QStringLiteral("XDG_RUNTIME_DIR")));
    QFile::setPermissions(env.value(QStringLiteral("XDG_RUNTIME_DIR")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(copy, {});
    if (!program.waitForStarted())
        return 0;
    // Settled: the same figure three samples in a row (at most 10 s).
    double last = 0;
    int steady = 0;
    for (int i = 0; i < 100 && steady < 3; ++i) {
        QThread::msleep(100);
        const double now = residentMb(program.processId());
        steady = (now > 0 && now == last) ? steady + 1 : 0;
        last = now;
    }
    program.terminate();
    if (!program.waitForFinished(3000)) {
        program.kill();
        program.waitForFinished(3000);
    }
    return last;
}

} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    const QString runtime = QDir(scratch.path()).filePath(QStringLiteral("runtime-self"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QDir(scratch.path()).filePath(QStringLiteral("config-self")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QElapsedTimer startup;
    startup.start();
    QApplication app(argc, argv);
    MessageBox::setTestMode(true);
    double startupMs = 0;
    double selfRssMb = 0;
    {
        FakeDesktop desk;
        QtEventPump pump;
        MainWindow window(desk.api(), pump, scratch.path());
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        startupMs = double(startup.nsecsElapsed()) / 1e6;
        selfRssMb = residentMb(QCoreApplication::applicationPid());
    }
    std::printf("figure: startup_ms %.1f ms\n", startupMs);

    const double programRss = programRssMb(qEnvironmentVariable("PALVURO_BIN_DIR"), scratch);
    if (programRss > 0) {
        std::printf("figure: rss_start_mb %.1f MB\n", programRss);
    } else {
        std::printf("# palvuro-trivia not found (PALVURO_BIN_DIR): resident memory of this process\n");
        std::printf("figure: rss_start_mb %.1f MB\n", selfRssMb);
    }

    std::printf("figure: sendchat_wait_cpu_pct %.2f pct\n", bareLinkWaitPct());
    std::printf("figure: sendchat_wait_connected_cpu_pct %.2f pct\n", connectedWindowWaitPct(scratch.path()));
    std::fflush(stdout);
    return 0;
}
