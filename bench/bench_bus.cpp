// The cost of one sent window message over the desktop bus, against a bare local-socket echo of
// a frame of the same size measured in the same run. The bus's other end is a real palvuro-chat
// process when one is built, otherwise a server on a thread of this process; the echo runs the
// same way (this program started again as an echo process, or an echo thread).
#include "platform/BusFrame.h"
#include "platform/BusWindowApi.h"
#include "tests/platform/BusServerThread.h"
#include "tests/platform/FakeChatWindows.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace palvuro;

namespace {

constexpr int Rounds = 10;
constexpr int PerRound = 2000;
const char* const EchoOption = "--echo-server";

// Sends back whatever arrives, as it arrives.
class EchoServer {
public:
    bool listen(const QString& path) {
        QLocalServer::removeServer(path);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
            while (QLocalSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
                    socket->write(socket->readAll());
                    socket->flush();
                });
            }
        });
        return server_.listen(path);
    }

private:
    QLocalServer server_;
};

int runEchoProcess(const QString& path) {
    EchoServer echo;
    if (!echo.listen(path))
        return 1;
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
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

class EchoClient {
public:
    bool connectTo(const QString& path) {
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            socket_.connectToServer(path);
            if (socket_.waitForConnected(1000))
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    // One frame out, the same frame back, as the bus client handles a reply.
    bool roundTrip(const QByteArray& frame) {
        socket_.write(frame);
        socket_.flush();
        while (buffer_.size() < frame.size()) {
            if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(2000))
                return false;
            buffer_.append(socket_.readAll());
        }
        buffer_.remove(0, frame.size());
        return true;
    }

private:
    QLocalSocket socket_;
    QByteArray buffer_;
};

struct Peers {
    FakeChatWindows windows; // on the bus thread, when there is one
    std::unique_ptr<QProcess> chat;
    std::unique_ptr<QProcess> echo;
    std::unique_ptr<BusServerThread> busThread;
    std::unique_ptr<BusServerThread> echoThread;
    std::unique_ptr<EchoServer> echoInThread;
    QString where;

    ~Peers() {
        for (QProcess* process : {chat.get(), echo.get()}) {
            if (process) {
                process->kill();
                process->waitForFinished();
            }
        }
        if (echoThread)
            echoThread->run([this] { echoInThread.reset(); });
    }

    bool startProcesses(const QString& echoPath) {
        const QString bin = qEnvironmentVariable("PALVURO_BIN_DIR", QCoreApplication::applicationDirPath());
        const QString program = QDir(bin).filePath(QStringLiteral("palvuro-chat"));
        if (!QFileInfo(program).isExecutable())
            return false;
        chat = std::make_unique<QProcess>();
        chat->start(program, {QStringLiteral("--fill"), QStringLiteral("1000")});
        echo = std::make_unique<QProcess>();
        echo->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(EchoOption), echoPath});
        where = QStringLiteral("palvuro-chat process, echo process");
        return chat->waitForStarted() && echo->waitForStarted() && echo->waitForReadyRead(10000);
    }

    bool startThreads(const QString& echoPath) {
        busThread = std::make_unique<BusServerThread>();
        if (!busThread->start())
            return false;
        busThread->run([this] {
            windows.build(busThread->registry());
            windows.paragraphs.assign(1000, std::string(60, '.'));
        });
        echoThread = std::make_unique<BusServerThread>();
        bool listening = false;
        echoThread->run([&] {
            echoInThread = std::make_unique<EchoServer>();
            listening = echoInThread->listen(echoPath);
        });
        where = QStringLiteral("server thread, echo thread");
        return listening;
    }
};

int runBenchmark() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString echoPath = runtime.filePath(QStringLiteral("echo"));

    Peers peers;
    if (!peers.startProcesses(echoPath)) {
        peers.chat.reset();
        peers.echo.reset();
        if (!peers.startThreads(echoPath)) {
            std::fprintf(stderr, "bench_bus: cannot start the servers\n");
            return 1;
        }
    }
    BusWindowApi api(2000);
    const Hwnd text = findText(api);
    EchoClient echo;
    if (text == 0 || !echo.connectTo(echoPath)) {
        std::fprintf(stderr, "bench_bus: the chat window or the echo server did not appear\n");
        return 1;
    }
    BusFrame::Request request;
    request.op = BusFrame::Op::Send;
    request.handle = text;
    request.msg = wm::GetLineCount;
    const QByteArray echoFrame = BusFrame::encode(request);

    // Rounds alternate between the two so that drift in the machine's load hits both alike.
    std::vector<double> bus, bare;
    QElapsedTimer clock;
    for (int round = 0; round < Rounds; ++round) {
        for (int i = 0; i < PerRound; ++i) {
            clock.start();
            const LResult lines = api.sendMessage(text, wm::GetLineCount, 0, 0);
            bus.push_back(double(clock.nsecsElapsed()) / 1000.0);
            if (lines < 1) {
                std::fprintf(stderr, "bench_bus: the text window stopped answering\n");
                return 1;
            }
        }
        for (int i = 0; i < PerRound; ++i) {
            clock.start();
            const bool answered = echo.roundTrip(echoFrame);
            bare.push_back(double(clock.nsecsElapsed()) / 1000.0);
            if (!answered) {
                std::fprintf(stderr, "bench_bus: the echo server stopped answering\n");
                return 1;
            }
        }
    }
    const double busUs = median(bus);
    const double bareUs = median(bare);
    std::printf("# %s; %d round trips each; bare echo median %.1f us\n", qPrintable(peers.where),
                Rounds * PerRound, bareUs);
    std::printf("figure: bus_roundtrip_us %.1f us\n", busUs);
    std::printf("figure: bus_roundtrip_ratio %.2f ratio\n", bareUs > 0 ? busUs / bareUs : 0.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], EchoOption) == 0)
        return runEchoProcess(QString::fromLocal8Bit(argv[2]));
    return runBenchmark();
}
