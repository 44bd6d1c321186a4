// The chat client's memory over weeks of a busy channel.
//
// host_rss_growth_mb: resident memory of a real palvuro-chat process (offscreen) after 1,000,000
// room lines, minus the same after 20,000, with a channel's default window limit. The lines come
// through the room script on standard input and the room's real window, as fast as the client
// takes them; the bench reads the newest line over the desktop bus, as the bot does, to know when
// they are in. Target: at most 5 MB.

#include "bench/ClientProcess.h"
#include "chatclient/ClientOptions.h"
#include "platform/BusWindowApi.h"
#include "platform/LineBuffer.h"
#include "platform/Windows1252.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace palvuro;

namespace {

constexpr int kWarmLines = 20000;
constexpr int kManyLines = 1000000;
constexpr int kChunk = 5000;
constexpr int kTimeoutMs = 600000;

// The client's text window as the bot reaches it.
class RoomReader {
public:
    bool find(const QDeadlineTimer& deadline) {
        while (!deadline.hasExpired()) {
            const Hwnd main = api_.findWindow(nullptr, "Palvuro 2.0");
            const Hwnd room = main ? api_.findWindowEx(main, 0, "AfxWnd70u", nullptr) : 0;
            text_ = room ? api_.findWindowEx(room, 0, "RichEdit20W", nullptr) : 0;
            if (text_)
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    QString newestRow() {
        const LResult count = api_.sendMessage(text_, wm::GetLineCount, 0, 0);
        if (count < 2)
            return {};
        const auto row = static_cast<WParam>(count - 2);
        const LResult start = api_.sendMessage(text_, wm::LineIndex, row, 0);
        const LResult length = api_.sendMessage(text_, wm::LineLength, static_cast<WParam>(start), 0);
        if (length < 1 || length > 4096)
            return {};
        QByteArray buffer = LineBuffer::make(static_cast<int>(length));
        const LResult copied =
            api_.sendMessage(text_, wm::GetLine, row, reinterpret_cast<LParam>(buffer.data()));
        return copied > 0 ? Windows1252::decode(buffer.constData(), static_cast<int>(copied)) : QString();
    }

private:
    BusWindowApi api_{5000};
    Hwnd text_ = 0;
};

// Says lines FROM to TO - 1 in chunks, each taken before the next is written, so nothing piles
// up in the client's input.
bool feed(QProcess& chat, RoomReader& reader, int from, int to, const QDeadlineTimer& deadline) {
    for (int start = from; start < to; start += kChunk) {
        const int end = std::min(to, start + kChunk);
        QByteArray chunk;
        for (int i = start; i < end; ++i)
            chunk += "say ANNA " + ClientProcess::sixtyCharacters(i).toLatin1() + '\n';
        chat.write(chunk);
        const QString last = QStringLiteral("ANNA  : ") + ClientProcess::sixtyCharacters(end - 1);
        while (!reader.newestRow().startsWith(last)) {
            if (deadline.hasExpired() || chat.state() != QProcess::Running)
                return false;
            chat.waitForBytesWritten(10);
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    QProcess chat;
    const QDeadlineTimer deadline(kTimeoutMs);
    RoomReader reader;
    if (!ClientProcess::start(
            chat, {"--keep-lines", QString::number(ClientOptions::DefaultNetworkKeepLines), "--script", "-"},
            dir.path(), QProcess::ForwardedChannels) ||
        !reader.find(deadline)) {
        std::fprintf(stderr, "bench_window: palvuro-chat did not start\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const bool fed = feed(chat, reader, 0, kWarmLines, deadline);
    const long warmKb = ClientProcess::settledResidentKb(chat.processId());
    const bool allFed = fed && feed(chat, reader, kWarmLines, kManyLines, deadline);
    const double seconds = clock.elapsed() / 1000.0;
    const long manyKb = ClientProcess::settledResidentKb(chat.processId());
    chat.kill();
    chat.waitForFinished();
    if (!allFed || warmKb < 0 || manyKb < 0) {
        std::fprintf(stderr,
                     "bench_window: palvuro-chat did not take the lines, or its memory could not be read\n");
        return 1;
    }
    std::printf("palvuro-chat took %d lines in %.1f s; resident %.1f MB after %d, %.1f MB after %d\n",
                kManyLines, seconds, warmKb / 1024.0, kWarmLines, manyKb / 1024.0, kManyLines);
    std::printf("figure: host_rss_growth_mb %.1f MB\n", (manyKb - warmKb) / 1024.0);
    return 0;
}
