// The bot hosting through Pidgin: ircd-hybrid, Pidgin joined to a channel on a private X server
// and accessibility bus, palvuro-bridge following its conversation, the real bot with no display
// connected to the bridge's room, and chatters that are connections of their own.
//
// bridge_answer_latency_ms: a chatter's correct answer (its PRIVMSG written) to the "Is Correct"
// line arriving at that chatter; median over 20 questions. Target: at most 150.
// bridge_answer_in_pidgin_ms: the same answer to the "Is Correct" line showing in Pidgin's
// conversation, which Pidgin does once it took the line from its input box: all of the first
// figure but Pidgin's own wait before it writes the line to the server (its IRC protocol writes
// only from a once-a-second timer, at most one line per "Seconds between sending messages" of
// the account, 2 by default). Median over the same answers.
// bridge_lines_lost: lines said in a channel that hears 20 lines a second for five minutes that
// never reached the bridge's room window, read over the desktop bus as the bot reads it.
// Target: 0. "--lines-seconds N" runs a shorter channel for development.
// bridge_idle_cpu_pct: the bridge's CPU time over 60 s, with a conversation of 10,000 lines open
// and nobody speaking, as a share of one CPU. Target: at most 1.
//
// Arguments pick the figures ("latency", "lines", "idle"); none: all three. Where Pidgin, the
// accessibility bus or the IRC server are not installed, it says so and skips.

#include "a11y/AccessibilityBus.h"
#include "a11y/AccessibleSearch.h"
#include "a11y/TextReader.h"
#include "bench/CpuTime.h"
#include "bridge/PidginProfile.h"
#include "tests/support/BridgedBot.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/PidginSession.h"
#include "tests/support/RoomWindow.h"
#include "tests/support/WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace palvuro;
using Message = IrcChatter::Message;

namespace {

const QString kChannel = QStringLiteral("#trivia");
constexpr int kLinesPerSecond = 20;
constexpr int kConversationLines = 10000;
// ircd-hybrid takes about a line a second from one client once its first burst is spent and
// holds the rest back: the busy channel's lines come from twice as many talkers, so that none
// of them builds a backlog that outlasts the run.
constexpr int kTalkers = 2 * kLinesPerSecond;
constexpr int kIdleSeconds = 60;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Pidgin's conversation read on the benchmark's own connection to Pidgin's accessibility bus:
// the lines it shows, each with when it showed on a chatter's clock.
class PidginConversation {
public:
    explicit PidginConversation(const IrcChatter& clock) : clock_(clock) {}

    bool follow(const PidginSession& pidgin) {
        const QProcessEnvironment env = pidgin.environment();
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
            qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
        if (!AccessibilityBus::connect(nullptr))
            return false;
        for (const AccessibleNode& application :
             AccessibleSearch::applicationsNamed(profile_.applicationName()))
            if (const Conversation found = profile_.find(application, kChannel); !found.isNull())
                history_ = found.history;
        if (history_.isNull())
            return false;
        reader_ = std::make_unique<TextReader>(history_);
        QObject::connect(reader_.get(), &TextReader::changed, reader_.get(), [this] { readNew(); });
        return true;
    }
    // When the first line holding TEXT showed after the chatter's clock read FROM; waits for it a
    // while.
    std::optional<qint64> shown(const QString& text, qint64 from) {
        std::optional<qint64> at;
        waitUntil(
            [&] {
                const auto line = std::find_if(lines_.begin(), lines_.end(), [&](const auto& l) {
                    return l.first >= from && l.second.contains(text);
                });
                if (line != lines_.end())
                    at = line->first;
                return at.has_value();
            },
            5000, 5);
        return at;
    }

private:
    void readNew() {
        QList<TextRun> runs;
        reader_->readNew(&runs);
        QString text;
        for (const TextRun& run : runs)
            text += run.text;
        if (!text.isEmpty())
            for (const QString& line : text.split(QLatin1Char('\n')))
                lines_.push_back({clock_.elapsed(), line});
    }

    const IrcChatter& clock_;
    PidginProfile profile_;
    AccessibleNode history_;
    std::unique_ptr<TextReader> reader_;
    std::vector<std::pair<qint64, QString>> lines_;
};

class Rig {
public:
    bool start() {
        // ircd-hybrid lets a channel hear ten lines a second and drops the rest before Pidgin
        // sees them: the busy channel here is the bridge's to keep up with, not the server's.
        server_.setChannelFloodCount(1'000'000);
        if (!server_.start())
            return fail(server_.error());
        anna_ = std::make_unique<IrcChatter>(QStringLiteral("ANNA"));
        bob_ = std::make_unique<IrcChatter>(QStringLiteral("BOB"));
        for (int i = 0; i < kTalkers; ++i)
            talkers_.push_back(std::make_unique<IrcChatter>(QStringLiteral("TALK%1").arg(i)));
        for (IrcChatter* c : chatters())
            if (!c->connectTo(server_.port(), kChannel))
                return fail(QStringLiteral("a chatter could not join"));
        pidgin_ =
            std::make_unique<PidginSession>(server_.port(), kChannel, QLatin1String(E2eSession::BotNick));
        if (!pidgin_->start())
            return fail(pidgin_->error());
        const auto pidginJoins = [](const Message& m) {
            return m.command == QLatin1String("JOIN") && m.nick == QLatin1String(E2eSession::BotNick);
        };
        if (!anna_->waitFor(pidginJoins, 0, 30000))
            return fail(QStringLiteral("Pidgin did not join the channel"));
        host_ = std::make_unique<BridgedBot>(*pidgin_, kChannel);
        // Pidgin holds each line of the bot's until its own send interval since the one before
        // has passed, so a question reaches the chatters up to seconds after the bot said it:
        // the hint, said halfway through, must come well after the answers.
        if (!host_->start(20, 2))
            return fail(host_->error());
        game_ = std::make_unique<ChannelGame>(*anna_, kChannel, QLatin1String(E2eSession::BotNick),
                                              E2eSession::answers(), host_->bot().dataFolder());
        // The bench reads the room on the bot's desktop bus.
        qputenv("XDG_RUNTIME_DIR", host_->bot().runtimeDir().toLocal8Bit());
        return true;
    }
    std::vector<IrcChatter*> chatters() const {
        std::vector<IrcChatter*> all{anna_.get(), bob_.get()};
        for (const auto& t : talkers_)
            all.push_back(t.get());
        return all;
    }
    // One line of the talkers', by turns, counted as part of the conversation.
    void talk(const QString& text) {
        talkers_[std::size_t(said_ % kTalkers)]->say(kChannel, text);
        ++said_;
    }
    int said() const { return said_; }
    IrcChatter& anna() { return *anna_; }
    IrcChatter& bob() { return *bob_; }
    const PidginSession& pidgin() const { return *pidgin_; }
    ChannelGame& game() { return *game_; }
    BridgedBot& host() { return *host_; }
    QString error() const { return error_; }

private:
    bool fail(const QString& why) {
        error_ = why;
        return false;
    }

    IrcServer server_;
    std::unique_ptr<IrcChatter> anna_, bob_;
    std::vector<std::unique_ptr<IrcChatter>> talkers_;
    std::unique_ptr<PidginSession> pidgin_;
    std::unique_ptr<BridgedBot> host_;
    std::unique_ptr<ChannelGame> game_;
    int said_ = 0;
    QString error_;
};

bool answerLatency(Rig& rig) {
    IrcChatter& anna = rig.anna();
    IrcChatter& bob = rig.bob();
    ChannelGame& game = rig.game();
    int at = anna.receivedCount() - 1;
    anna.say(kChannel, QStringLiteral("!START HISTORY"));
    if (!anna.waitFor(game.botSays(QStringLiteral("[Trivia Bot Started By ANNA]")), at + 1, 30000, &at))
        return false;
    PidginConversation conversation(bob);
    if (!conversation.follow(rig.pidgin())) {
        std::fprintf(stderr, "bench_bridge: cannot read Pidgin's conversation on the accessibility bus\n");
        return false;
    }
    std::vector<double> ms, inPidgin;
    int missed = 0;
    while (ms.size() < 20 && missed < 10) {
        const auto question = game.nextQuestion(&at, 30000);
        if (!question)
            return false;
        // A person reads the question first; the bot says its lines at least 1100 ms apart, so
        // a sooner answer would measure the bot's own spacing. The question came on Pidgin's
        // once-a-second send timer: one fixed wait would always answer at the same point of
        // it, and the figure would be that point; the answers are spread over a whole second.
        QTest::qWait(1300 + int(ms.size()) * 1000 / 20);
        const int mark = bob.receivedCount();
        const qint64 sent = bob.elapsed();
        bob.say(kChannel, game.answerTo(*question));
        const auto verdict = bob.waitFor(
            [&](const Message& m) {
                return game.botSays()(m) && (m.text().startsWith(QLatin1String("(*)BOB (*) Is Correct")) ||
                                             m.text().startsWith(QLatin1String("Times Up!")));
            },
            mark, 30000);
        if (!verdict)
            return false;
        if (verdict->text().startsWith(QLatin1String("Times Up!"))) {
            std::fprintf(stderr, "bench_bridge: an answer did not count in time\n");
            ++missed;
            continue;
        }
        const auto shown = conversation.shown(QStringLiteral("(*)BOB (*) Is Correct"), sent);
        if (!shown) {
            std::fprintf(stderr, "bench_bridge: the answer's verdict did not show in Pidgin\n");
            return false;
        }
        ms.push_back(double(verdict->ms - sent));
        inPidgin.push_back(double(*shown - sent));
        std::fprintf(stderr, "bench_bridge: question %zu: %.0f ms, in Pidgin after %.0f ms\n", ms.size(),
                     ms.back(), inPidgin.back());
    }
    anna.say(kChannel, QStringLiteral("!QUIT"));
    anna.waitFor(game.botSays(QStringLiteral("[Trivia Ended By ANNA]")), at, 30000);
    if (ms.size() < 20)
        return false;
    std::printf("figure: bridge_answer_latency_ms %.1f ms\n", median(ms));
    std::printf("figure: bridge_answer_in_pidgin_ms %.1f ms\n", median(inPidgin));
    return true;
}

// Adds the numbers of the "LOSS n" lines among LINES to SEEN.
void collect(const QStringList& lines, QSet<int>* seen) {
    static const QRegularExpression said(QStringLiteral("  : LOSS (\\d{6}) $"));
    for (const QString& line : lines)
        if (const auto match = said.match(line); match.hasMatch())
            seen->insert(match.captured(1).toInt());
}

bool linesLost(Rig& rig, int seconds) {
    RoomWindow room;
    if (!room.find()) {
        std::fprintf(stderr, "bench_bridge: the bridge's room is not on the desktop bus\n");
        return false;
    }
    const int total = seconds * kLinesPerSecond;
    const int heardBefore = rig.anna().receivedCount();
    QSet<int> seen;
    QElapsedTimer clock, sinceRead;
    clock.start();
    sinceRead.start();
    for (int sent = 0; sent < total;) {
        const int due = std::min<int>(total, int(clock.elapsed() * kLinesPerSecond / 1000) + 1);
        for (; sent < due; ++sent)
            rig.talk(QStringLiteral("LOSS %1").arg(sent, 6, 10, QLatin1Char('0')));
        if (sinceRead.elapsed() >= 250) {
            collect(room.newLines(), &seen);
            sinceRead.restart();
        }
        QTest::qWait(5);
    }
    waitUntil(
        [&] {
            collect(room.newLines(), &seen);
            return seen.size() == total;
        },
        30000, 250);
    int heard = 0;
    for (int i = heardBefore; i < rig.anna().receivedCount(); ++i)
        heard += rig.anna().received().at(i).text().startsWith(QLatin1String("LOSS "));
    std::fprintf(stderr, "bench_bridge: %d lines said, %d heard by a chatter, %lld in the bridge's room\n",
                 total, heard, qint64(seen.size()));
    std::printf("figure: bridge_lines_lost %lld lines\n", qint64(total - seen.size()));
    return true;
}

bool idleCpu(Rig& rig) {
    // Filled as fast as the server lets the talkers speak; the bridge's room may drop lines it
    // cannot show in time, which is not what this figure measures.
    QElapsedTimer clock;
    clock.start();
    const int toSay = std::max(0, kConversationLines - rig.said());
    for (int i = 0; i < toSay; ++i) {
        rig.talk(QStringLiteral("FILL %1").arg(i, 6, 10, QLatin1Char('0')));
        // Five lines a second each, the pace ircd-hybrid takes from one client.
        if (i % kTalkers == kTalkers - 1)
            QTest::qWait(std::max<qint64>(0, (i / kTalkers + 1) * 200 - clock.elapsed()));
    }
    RoomWindow room;
    if (!room.find())
        return false;
    const QString quiet = QStringLiteral("QUIET FROM HERE");
    rig.anna().say(kChannel, quiet);
    const bool caughtUp = waitUntil(
        [&] {
            const QStringList lines = room.newLines();
            return std::any_of(lines.begin(), lines.end(),
                               [&](const QString& l) { return l.contains(quiet); });
        },
        300000, 500);
    if (!caughtUp) {
        std::fprintf(stderr, "bench_bridge: the bridge did not show the conversation's last line\n");
        return false;
    }
    std::fprintf(stderr, "bench_bridge: %d lines in the conversation, filled in %lld s\n", rig.said(),
                 clock.elapsed() / 1000);
    QTest::qWait(3000);
    const qint64 pid = rig.host().bridge().processId();
    const qint64 before = CpuTime::ticks(pid);
    QTest::qWait(kIdleSeconds * 1000);
    std::printf("figure: bridge_idle_cpu_pct %.2f %%\n",
                CpuTime::percent(CpuTime::ticks(pid) - before, kIdleSeconds));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList picked = QApplication::arguments().mid(1);
    int lineSeconds = 5 * 60;
    if (const qsizetype at = picked.indexOf(QStringLiteral("--lines-seconds")); at >= 0) {
        lineSeconds = picked.value(at + 1).toInt();
        picked.remove(at, 2);
        if (lineSeconds <= 0) {
            std::fprintf(stderr, "bench_bridge: --lines-seconds wants a number of seconds\n");
            return 2;
        }
    }
    if (picked.isEmpty())
        picked = {QStringLiteral("latency"), QStringLiteral("lines"), QStringLiteral("idle")};
    for (const QString& why : {IrcServer::cannotRun(), PidginSession::cannotRun()}) {
        if (!why.isEmpty()) {
            std::printf("bench_bridge skipped: %s\n", qPrintable(why));
            return 0;
        }
    }
    if (const QString why = BridgedBot::cannotRun(); !why.isEmpty()) {
        std::fprintf(stderr, "bench_bridge: cannot run: %s\n", qPrintable(why));
        return 1;
    }
    Rig rig;
    if (!rig.start()) {
        std::fprintf(stderr, "bench_bridge: cannot run: %s\n", qPrintable(rig.error()));
        return 1;
    }
    const bool ok = (!picked.contains(QStringLiteral("latency")) || answerLatency(rig)) &&
                    (!picked.contains(QStringLiteral("lines")) || linesLost(rig, lineSeconds)) &&
                    (!picked.contains(QStringLiteral("idle")) || idleCpu(rig));
    if (!ok)
        std::fprintf(stderr, "bench_bridge: the run stalled:\n%s\nthe bridge:\n%s\nthe bot:\n%s\n",
                     rig.anna().dump(std::max(0, rig.anna().receivedCount() - 40)).constData(),
                     rig.host().log().constData(), qPrintable(rig.host().bot().botLog()));
    return ok ? 0 : 1;
}
