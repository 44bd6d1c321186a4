// The engine against a real chat client: answer latency, replies to a burst of commands, idle
// and flooded CPU, and how true the question clock keeps time. Uses palvuro-chat over the desktop bus when it
// is built, else the in-process fake desktop.

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "commands/TriviaBot.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "platform/BusWindowApi.h"
#include "platform/LineBuffer.h"
#include "platform/QtEventPump.h"
#include "tests/support/FakeDesktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace palvuro;

namespace {

// The room the bot attaches to, and a way for chatters to speak in it.
class Room {
public:
    virtual ~Room() = default;
    virtual WindowApi& api() = 0;
    virtual void say(const QString& nick, const QString& text) = 0;
    // Lines said `ms` apart, paced by the room itself and not by this process's event loop,
    // which the bot may hold up.
    virtual void sayEvery(int ms, const QList<std::pair<QString, QString>>& lines) {
        for (int i = 0; i < lines.size(); ++i)
            QTimer::singleShot(ms * i, [this, line = lines[i]] { say(line.first, line.second); });
    }
};

class ProcessRoom : public Room {
public:
    ProcessRoom(const QString& program, const QString& runtimeDir) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtimeDir);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, {"--nick", "TriviaBot", "--script", "-"});
        process_.waitForStarted(5000);
        bus_ = std::make_unique<BusWindowApi>();
    }
    ~ProcessRoom() override {
        process_.write("quit\n");
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(1000);
    }
    WindowApi& api() override { return *bus_; }
    void say(const QString& nick, const QString& text) override {
        process_.write(("say " + nick + " " + text + "\n").toUtf8());
        process_.waitForBytesWritten(100);
    }
    void sayEvery(int ms, const QList<std::pair<QString, QString>>& lines) override {
        QByteArray script;
        for (const auto& [nick, text] : lines)
            script += ("say " + nick + " " + text + "\nwait " + QString::number(ms) + "\n").toUtf8();
        process_.write(script);
        process_.waitForBytesWritten(1000);
    }

private:
    QProcess process_;
    std::unique_ptr<BusWindowApi> bus_;
};

class LocalRoom : public Room {
public:
    WindowApi& api() override { return desk_.api(); }
    void say(const QString& nick, const QString& text) override { desk_.say(nick, text); }

private:
    FakeDesktop desk_;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool anyContains(const QStringList& lines, const QString& needle) {
    return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(needle); });
}

void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The bot with real timers in a program folder holding one category of one question.
class Bench {
public:
    explicit Bench(Room& room) : room_(room) {
        UsersList(dir_.path()).save({"Anna"});
        TriviaDatabase db(dir_.path());
        db.open();
        db.createCategory("Bench");
        db.addPair("BENCH", "Capital of France?", "Paris");
        bot_.clocks().driveFromEventLoop();
        bot_.timings().setAnswerSecs(40);
        bot_.timings().setNextQuestionSecs(1);
    }

    bool connect() {
        QElapsedTimer clock;
        clock.start();
        while (!(bot_.link().findChatMainWindow() && bot_.link().locateChatRoom())) {
            if (clock.elapsed() > 10000)
                return false;
            runEventLoop(100);
        }
        bot_.link().startReading("TriviaBot");
        return true;
    }

    // Milliseconds until a line holding `needle` is among the room's newest lines; -1 on time-out.
    qint64 waitForLine(const QString& needle, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            QCoreApplication::processEvents();
            const QStringList lines = newestLines();
            if (anyContains(lines, needle)) {
                if (qEnvironmentVariableIsSet("BENCH_DEBUG"))
                    std::fprintf(stderr, "# seen: %s\n", qPrintable(lines.join(" | ")));
                return clock.elapsed();
            }
            QThread::usleep(200);
        }
        if (qEnvironmentVariableIsSet("BENCH_DEBUG"))
            std::fprintf(stderr, "# not seen: %s; newest: %s\n", qPrintable(needle),
                         qPrintable(newestLines().join(" | ")));
        return -1;
    }

    // Says a command once the bot's own last line has been read (or the reader would judge
    // both lines as one text) and waits for the bot's reply.
    bool command(const QString& text, const QString& reply) {
        runEventLoop(50);
        room_.say("Anna", text);
        return waitForLine(reply, 5000) >= 0;
    }

    // A correct answer said into the room until the bot's "Is Correct" appears there.
    std::vector<double> answerLatencies(int rounds) {
        std::vector<double> samples;
        if (!command("!START BENCH", "[Trivia Bot Started By ANNA]"))
            return samples;
        for (int round = 0; round < rounds; ++round) {
            if (waitForLine("Capital of France?", 10000) < 0)
                break;
            runEventLoop(1200); // no send spacing pending when the answer comes
            room_.say("Bob", "paris");
            QElapsedTimer clock;
            clock.start();
            if (waitForLine("Bob  : paris", 2000) < 0)
                break;
            const qint64 said = clock.nsecsElapsed();
            if (waitForLine("Is Correct", 2000) < 0)
                break;
            samples.push_back(static_cast<double>(clock.nsecsElapsed() - said) / 1e6);
            waitForLine("Seconds Until Next Question.", 2000);
        }
        command("!QUIT", "[Trivia Ended By ANNA]");
        return samples;
    }

    // Commands said 100 ms apart while a game runs, each by a nick of its own: how many never
    // got their reply.
    int replyBurstLost(int count) {
        if (!command("!START BENCH", "[Trivia Bot Started By ANNA]") ||
            waitForLine("Capital of France?", 10000) < 0)
            return -1;
        const auto nick = [](int i) { return QString("BURST%1").arg(i, 2, 10, QChar('0')); };
        QList<std::pair<QString, QString>> burst;
        for (int i = 0; i < count; ++i)
            burst.append({nick(i), "!MYSCORE"});
        // The first command comes once the question has been read, as command() does: said in
        // the same reader tick as the bot's line, the two would be judged as one text.
        runEventLoop(50);
        room_.sayEvery(100, burst);
        QElapsedTimer clock;
        clock.start();
        int answered = 0;
        while (answered < count && clock.elapsed() < (count + 5) * 1100) {
            runEventLoop(500);
            const QStringList lines = roomLines(0);
            answered = 0;
            for (int i = 0; i < count; ++i)
                answered += anyContains(lines, "/msg " + nick(i) + "  : <b>Your Score Is") ? 1 : 0;
        }
        command("!QUIT", "[Trivia Ended By ANNA]");
        return count - answered;
    }

    // Wall time of one answer window of `secs` seconds: question line to "Times Up!" line.
    double answerWindowMs(int secs) {
        bot_.timings().setAnswerSecs(static_cast<std::int16_t>(secs));
        if (!command("!START BENCH", "[Trivia Bot Started By ANNA]") ||
            waitForLine("Capital of France?", 10000) < 0)
            return -1;
        QElapsedTimer clock;
        clock.start();
        const qint64 waited = waitForLine("Times Up!", (secs + 5) * 1000);
        const double took = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        waitForLine("Seconds Until Next Question.", 2000);
        command("!QUIT", "[Trivia Ended By ANNA]");
        return waited < 0 ? -1 : took;
    }

    double cpuPercent(int ms, const std::function<void()>& everyFiftyMs = {}) {
        QTimer load;
        if (everyFiftyMs) {
            QObject::connect(&load, &QTimer::timeout, everyFiftyMs);
            load.start(50);
        }
        const double before = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        runEventLoop(ms);
        return (cpuSeconds() - before) * 1000.0 / static_cast<double>(clock.elapsed()) * 100.0;
    }

private:
    QStringList newestLines() { return roomLines(4); }

    // The room window's last `newest` lines, or all of them for 0.
    QStringList roomLines(std::int32_t newest) {
        WindowApi& api = room_.api();
        const Hwnd text = bot_.link().textWindow();
        const auto count = static_cast<std::int32_t>(api.sendMessage(text, wm::GetLineCount, 0, 0));
        QStringList lines;
        for (std::int32_t line = newest > 0 ? std::max(0, count - newest) : 0; line < count; ++line) {
            const LResult start = api.sendMessage(text, wm::LineIndex, static_cast<WParam>(line), 0);
            const LResult length = api.sendMessage(text, wm::LineLength, static_cast<WParam>(start), 0);
            if (start < 0 || length < 1 || length > 4000)
                continue;
            QByteArray buffer = LineBuffer::make(static_cast<int>(length));
            const LResult copied = api.sendMessage(text, wm::GetLine, static_cast<WParam>(line),
                                                   reinterpret_cast<LParam>(buffer.data()));
            lines << QString::fromLatin1(buffer.constData(), static_cast<int>(std::max<LResult>(copied, 0)));
        }
        return lines;
    }

    Room& room_;
    QTemporaryDir dir_;
    QtEventPump pump_;
    TriviaBot bot_{room_.api(), pump_, dir_.path(), {}};
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString binDir = qEnvironmentVariable("PALVURO_BIN_DIR");
    if (binDir.isEmpty())
        binDir = QCoreApplication::applicationDirPath();
    const QString client = QDir(binDir).filePath("palvuro-chat");
    const int cpuMs = 30000;

    QTemporaryDir runtime;
    std::unique_ptr<Room> room;
    if (QFileInfo(client).isExecutable()) {
        room = std::make_unique<ProcessRoom>(client, runtime.path());
        std::printf("# room: palvuro-chat over the desktop bus (%s)\n", qPrintable(client));
    } else {
        room = std::make_unique<LocalRoom>();
        std::printf("# room: in-process fake desktop (palvuro-chat not found in %s)\n", qPrintable(binDir));
    }
    Bench bench(*room);
    if (!bench.connect()) {
        std::fprintf(stderr, "bench_engine: the chat room was not found\n");
        return 1;
    }

    if (qEnvironmentVariableIsSet("BENCH_DRIFT_ONLY")) {
        std::printf("drift window %.1f\n", bench.answerWindowMs(10));
        return 0;
    }
    std::vector<double> latencies = bench.answerLatencies(11);
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        std::printf("# answer latency over %zu answers, min %.2f max %.2f ms\n", latencies.size(),
                    latencies.front(), latencies.back());
        std::printf("figure: answer_latency_ms %.2f ms\n", latencies[latencies.size() / 2]);
    }

    std::printf("figure: reply_burst_lost %d replies\n", bench.replyBurstLost(20));

    std::printf("# CPU measured over %d s each\n", cpuMs / 1000);
    std::printf("figure: idle_cpu_pct %.2f pct\n", bench.cpuPercent(cpuMs));
    int counter = 0;
    const double flood = bench.cpuPercent(cpuMs, [&] {
        for (int i = 0; i < 10; ++i) // 10 lines every 50 ms: 200 lines a second
            room->say("Flood", QString("line %1 of the flood").arg(++counter));
    });
    std::printf("figure: flood_cpu_pct %.2f pct\n", flood);
    bench.waitForLine(QString("line %1 of the flood").arg(counter), 60000); // drained

    const double window = bench.answerWindowMs(10);
    if (window > 0) {
        std::printf("# a 10 s answer window took %.1f ms\n", window);
        std::printf("figure: clock_drift_pct %.2f pct\n", (window - 10000.0) / 100.0);
    }
    return 0;
}
