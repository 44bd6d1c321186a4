// palvuro-host with no display, hosting a channel of a real ircd-hybrid.
//
// host_ready_s: palvuro-host started to the client joined and the bot connected (its status
// file says so); median of 5 fresh hosts. Target: at most 3.
// host_recover_s: the client SIGKILLed to the client back in the channel with the bot attached
// again; median of the same 5 hosts, each killed once (a first crash: the backoff waits 1 s).
// Target: at most 5.
// host_idle_cpu_pct: the CPU time of the host, the client and the bot together, joined and no
// game, over 60 s, as a share of one CPU. Target: at most 1.

#include "bench/CpuTime.h"
#include "tests/support/HostProcess.h"
#include "tests/support/IrcServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace palvuro;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

qint64 pairTicks(const HostStatus& s, qint64 hostPid) {
    return CpuTime::ticks(hostPid) + CpuTime::ticks(s.clientPid) + CpuTime::ticks(s.botPid);
}

int fail(const QString& why) {
    std::fprintf(stderr, "bench_host: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (const QString why = IrcServer::cannotRun(); !why.isEmpty())
        return fail(why);
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    IrcServer server;
    if (!server.start())
        return fail(server.error());

    std::vector<double> ready, recover;
    for (int i = 0; i < 5; ++i) {
        HostProcess host(server.port(), QStringLiteral("#ready%1").arg(i), QStringLiteral("TRIVIA"));
        QElapsedTimer clock;
        clock.start();
        if (!host.start() || !host.waitHealthy(60000))
            return fail(
                QStringLiteral("host %1 never got ready: %2").arg(i).arg(QString::fromUtf8(host.log())));
        ready.push_back(double(clock.elapsed()) / 1000.0);
        clock.restart();
        ::kill(pid_t(host.status().clientPid), SIGKILL);
        if (!host.waitHealthy(60000, 1))
            return fail(QStringLiteral("no recovery: ") + QString::fromUtf8(host.log()));
        recover.push_back(double(clock.elapsed()) / 1000.0);
        host.process().terminate();
        host.process().waitForFinished(10000);
    }
    std::printf("figure: host_ready_s %.2f s\n", median(ready));
    std::printf("figure: host_recover_s %.2f s\n", median(recover));
    std::fflush(stdout);

    HostProcess host(server.port(), QStringLiteral("#trivia"), QStringLiteral("TRIVIA"));
    if (!host.start() || !host.waitHealthy(60000))
        return fail(QStringLiteral("the host never got ready: ") + QString::fromUtf8(host.log()));
    // Idle: joined, no game, nothing said.
    QTest::qWait(2000);
    const HostStatus before = host.status();
    const qint64 start = pairTicks(before, host.process().processId());
    constexpr int kIdleSeconds = 60;
    QTest::qWait(kIdleSeconds * 1000);
    const HostStatus after = host.status();
    if (after.clientPid != before.clientPid || after.botPid != before.botPid)
        return fail(QStringLiteral("a child was restarted while idle: ") + QString::fromUtf8(host.log()));
    const qint64 used = pairTicks(after, host.process().processId()) - start;
    std::printf("figure: host_idle_cpu_pct %.2f %%\n", CpuTime::percent(used, kIdleSeconds));
    host.process().terminate();
    host.process().waitForFinished(10000);
    return 0;
}
