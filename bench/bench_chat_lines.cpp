// The chat client's text window under a million lines.
//
// lines_1m_vs_10_ratio: the median cost of one line message (EM_LINEINDEX, EM_LINELENGTH,
// EM_GETLINE, sent the way the bot's reader sends them, to the newest rows) in a window of
// 1,000,000 rows, divided by the same in a window of 10 rows. Target: at most 1.2.
// chat_rss_1m_lines_mb: resident memory of a real palvuro-chat process (offscreen) whose room
// holds 1,000,000 lines of 60 characters (--fill). Target: at most 400 MB.

#include "bench/ClientProcess.h"
#include "chatclient/ChatRoom.h"
#include "platform/LineBuffer.h"
#include "platform/LocalWindowApi.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace palvuro;

namespace {

constexpr int kManyLines = 1000000;
constexpr int kFewLines = 10;
constexpr int kReadsPerBatch = 2000;
constexpr int kBatches = 101;

struct Window {
    explicit Window(int lines) : room(registry, QStringLiteral("Bench"), 80), api(registry) {
        for (int i = 0; i < lines; ++i)
            room.say(QStringLiteral("ANNA"), ClientProcess::sixtyCharacters(i));
    }
    WindowRegistry registry;
    ChatRoom room;
    LocalWindowApi api;
};

// Nanoseconds per line message over one batch of reads of the newest ten rows.
double batchNsPerMessage(Window& w) {
    const Hwnd text = w.room.textWindow();
    std::vector<char> buffer(512);
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kReadsPerBatch; ++i) {
        const LResult count = w.api.sendMessage(text, wm::GetLineCount, 0, 0);
        const auto line = static_cast<WParam>(count - 2 - i % std::min<LResult>(count - 1, 10));
        const LResult start = w.api.sendMessage(text, wm::LineIndex, line, 0);
        const LResult length = w.api.sendMessage(text, wm::LineLength, static_cast<WParam>(start), 0);
        LineBuffer::setCapacity(buffer.data(), static_cast<int>(length + 2));
        w.api.sendMessage(text, wm::GetLine, line, reinterpret_cast<LParam>(buffer.data()));
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    return std::chrono::duration<double, std::nano>(elapsed).count() / (kReadsPerBatch * 3.0);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void lineMessages() {
    Window many(kManyLines);
    Window few(kFewLines);
    std::vector<double> manyNs;
    std::vector<double> fewNs;
    // Alternating batches share whatever else the machine is doing.
    for (int b = 0; b < kBatches; ++b) {
        manyNs.push_back(batchNsPerMessage(many));
        fewNs.push_back(batchNsPerMessage(few));
    }
    const double m = median(manyNs);
    const double f = median(fewNs);
    std::printf("line message, median: %.1f ns with %d rows, %.1f ns with %d rows\n", m,
                many.room.text().lineCount(), f, few.room.text().lineCount());
    std::printf("figure: lines_1m_vs_10_ratio %.3f ratio\n", m / f);
}

void clientMemory() {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.txt"));
    const QString transcript = dir.filePath(QStringLiteral("transcript.tsv"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("say BENCH ready\nwait 600000\nquit\n");
    file.close();

    QProcess chat;
    QElapsedTimer clock;
    clock.start();
    if (!ClientProcess::start(
            chat, {"--fill", QString::number(kManyLines), "--script", script, "--transcript", transcript},
            dir.path(), QProcess::ForwardedErrorChannel)) {
        std::fprintf(stderr, "bench_chat_lines: palvuro-chat did not start\n");
        return;
    }
    QFile said(transcript);
    while (clock.elapsed() < 600000 && chat.state() == QProcess::Running) {
        if (said.open(QIODevice::ReadOnly) && said.readAll().contains("ready"))
            break;
        said.close();
        chat.waitForFinished(200);
    }
    const double fillSeconds = clock.elapsed() / 1000.0;
    const long kb = ClientProcess::settledResidentKb(chat.processId());
    chat.kill();
    chat.waitForFinished();
    if (kb < 0) {
        std::fprintf(stderr, "bench_chat_lines: palvuro-chat's memory could not be read\n");
        return;
    }
    std::printf("palvuro-chat started with %d lines in %.1f s\n", kManyLines, fillSeconds);
    std::printf("figure: chat_rss_1m_lines_mb %.1f MB\n", kb / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    lineMessages();
    clientMemory();
    return 0;
}
