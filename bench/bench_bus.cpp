// The cost of one sent window message over the desktop bus, against the cheapest exchange of the
// same frames between two processes, measured in the same run.
#include "bench/FakeChatWindows.h"
#include "platform/BusFrame.h"
#include "platform/BusWindowApi.h"
#include "tests/platform/BusServerThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace palvuro;

namespace {

constexpr int Rounds = 10;
constexpr int PerRound = 2000;

// The physical limit of one request and one reply between two processes: blocking reads and
// writes on an AF_UNIX stream pair, no event loop, no framing work. Forked before Qt starts,
// so that the child is a plain process that only answers.
class SocketPingPong {
public:
    SocketPingPong(int requestBytes, int replyBytes)
        : request_(size_t(requestBytes), 'q'), reply_(size_t(replyBytes), 'r') {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
            return;
        child_ = ::fork();
        if (child_ == 0) {
            ::close(ends[0]);
            serve(ends[1]);
            ::_exit(0);
        }
        ::close(ends[1]);
        if (child_ > 0)
            fd_ = ends[0];
        else
            ::close(ends[0]);
    }
    ~SocketPingPong() {
        if (fd_ >= 0)
            ::close(fd_); // the child's read sees the end and it leaves
        if (child_ > 0)
            ::waitpid(child_, nullptr, 0);
    }
    SocketPingPong(const SocketPingPong&) = delete;
    SocketPingPong& operator=(const SocketPingPong&) = delete;

    bool ready() const { return fd_ >= 0; }
    bool roundTrip() { return writeAll(fd_, request_) && readAll(fd_, reply_); }

private:
    void serve(int fd) {
        while (readAll(fd, request_) && writeAll(fd, reply_)) {
        }
        ::close(fd);
    }
    static bool readAll(int fd, std::string& into) {
        for (size_t got = 0; got < into.size();) {
            const ssize_t n = ::read(fd, &into[got], into.size() - got);
            if (n <= 0)
                return false;
            got += size_t(n);
        }
        return true;
    }
    static bool writeAll(int fd, const std::string& bytes) {
        for (size_t put = 0; put < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
            if (n <= 0)
                return false;
            put += size_t(n);
        }
        return true;
    }

    std::string request_;
    std::string reply_;
    pid_t child_ = -1;
    int fd_ = -1;
};

// The frames the bus exchanges for one EM_GETLINECOUNT.
QByteArray lineCountRequest(Hwnd text) {
    BusFrame::Request request;
    request.op = BusFrame::Op::Send;
    request.handle = text;
    request.msg = wm::GetLineCount;
    return BusFrame::encode(request);
}

QByteArray lineCountReply() {
    BusFrame::Reply reply;
    reply.result = 1000;
    return BusFrame::encode(reply);
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0 : samples[samples.size() / 2];
}

// The bot's own search: the room is the first "AfxWnd70u" descendant, its text the first
// "RichEdit20W" child.
Hwnd findText(BusWindowApi& api) {
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (const Hwnd main = api.findWindow(nullptr, "Palvuro 2.0")) {
            Hwnd room = 0;
            api.enumChildWindows(
                main,
                [&](Hwnd hwnd, LParam) {
                    char name[10];
                    api.getClassName(hwnd, name, 10);
                    room = qstrcmp(name, "AfxWnd70u") == 0 ? hwnd : 0;
                    return room == 0 ? 1 : 0;
                },
                0);
            return room ? api.findWindowEx(room, 0, "RichEdit20W", nullptr) : 0;
        }
        QThread::msleep(50);
    }
    return 0;
}

// The bus's other end: a real palvuro-chat process when one is built, otherwise a server on a
// thread of this process.
struct BusPeer {
    FakeChatWindows windows; // on the bus thread, when there is one
    std::unique_ptr<QProcess> chat;
    std::unique_ptr<BusServerThread> busThread;
    QString where;

    ~BusPeer() {
        if (chat) {
            chat->kill();
            chat->waitForFinished();
        }
    }

    bool startProcess() {
        const QString bin = qEnvironmentVariable("PALVURO_BIN_DIR", QCoreApplication::applicationDirPath());
        const QString program = QDir(bin).filePath(QStringLiteral("palvuro-chat"));
        if (!QFileInfo(program).isExecutable())
            return false;
        chat = std::make_unique<QProcess>();
        chat->start(program, {QStringLiteral("--fill"), QStringLiteral("1000")});
        where = QStringLiteral("palvuro-chat process");
        return chat->waitForStarted();
    }

    bool startThread() {
        chat.reset();
        busThread = std::make_unique<BusServerThread>();
        if (!busThread->start())
            return false;
        busThread->run([this] {
            windows.build(busThread->registry());
            windows.paragraphs.assign(1000, std::string(60, '.'));
        });
        where = QStringLiteral("server thread (palvuro-chat is not built)");
        return true;
    }
};

int fail(const char* why) {
    std::fprintf(stderr, "bench_bus: %s\n", why);
    return 1;
}

int runBenchmark(SocketPingPong& baseline) {
    if (!baseline.ready())
        return fail("cannot start the AF_UNIX ping-pong process");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");

    BusPeer peer;
    if (!peer.startProcess() && !peer.startThread())
        return fail("cannot start the bus server");
    BusWindowApi api(2000);
    const Hwnd text = findText(api);
    if (text == 0)
        return fail("the chat window did not appear");

    // Rounds alternate between the two so that drift in the machine's load hits both alike.
    std::vector<double> bus, bare;
    QElapsedTimer clock;
    for (int round = 0; round < Rounds; ++round) {
        for (int i = 0; i < PerRound; ++i) {
            clock.start();
            const LResult lines = api.sendMessage(text, wm::GetLineCount, 0, 0);
            bus.push_back(double(clock.nsecsElapsed()) / 1000.0);
            if (lines < 1)
                return fail("the text window stopped answering");
        }
        for (int i = 0; i < PerRound; ++i) {
            clock.start();
            const bool answered = baseline.roundTrip();
            bare.push_back(double(clock.nsecsElapsed()) / 1000.0);
            if (!answered)
                return fail("the ping-pong process stopped answering");
        }
    }
    const double busUs = median(bus);
    const double bareUs = median(bare);
    std::printf(
        "# bus peer: %s; baseline: blocking AF_UNIX ping-pong with a second process, "
        "%d-byte request, %d-byte reply; all on one CPU; %d round trips each; baseline median %.1f us\n",
        qPrintable(peer.where), int(lineCountRequest(text).size()), int(lineCountReply().size()),
        Rounds * PerRound, bareUs);
    std::printf("figure: bus_roundtrip_us %.1f us\n", busUs);
    std::printf("figure: bus_roundtrip_ratio %.2f ratio\n", bareUs > 0 ? busUs / bareUs : 0.0);
    return 0;
}

} // namespace

// Both exchanges run on one CPU, with every process this program starts. Left to the scheduler,
// a pair of processes may share a CPU in one exchange and wake each other across CPUs in the
// other; on an idle machine the cross-CPU wake-up alone costs several times the round trip.
void pinToOneCpu() {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(::sched_getcpu(), 0), &one); // one this process may use
    if (::sched_setaffinity(0, sizeof one, &one) != 0)
        std::fprintf(stderr, "bench_bus: cannot pin to one CPU; the figures depend on the scheduler\n");
}

int main(int argc, char** argv) {
    pinToOneCpu();
    SocketPingPong baseline(int(lineCountRequest(0).size()), int(lineCountReply().size()));
    QCoreApplication app(argc, argv);
    return runBenchmark(baseline);
}
