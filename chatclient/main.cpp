#include "chatclient/ChatRoom.h"
#include "chatclient/ChatWindow.h"
#include "chatclient/ClientOptions.h"
#include "chatclient/IrcRoomLink.h"
#include "chatclient/ScriptRunner.h"
#include "chatclient/Transcript.h"
#include "platform/BusServer.h"
#include "platform/DisplayChoice.h"
#include "platform/SignalWatcher.h"
#include "platform/WindowRegistry.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace palvuro;

namespace {

constexpr int kExpectFailedStatus = 3;

void fill(ChatRoom& room, int lines) {
    const QString nick = QStringLiteral("FILL");
    for (int i = 0; i < lines; ++i)
        room.say(
            nick,
            QStringLiteral("line %1 ").arg(i, 8, 10, QLatin1Char('0')).leftJustified(60, QLatin1Char('.')));
}

// Without a screen nobody can close the window, so a finished script ends the program.
bool headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

// The channel behind the room: the session, and the link that shows it in the window.
struct Network {
    Network(const IrcSessionConfig& config, ChatRoom& room) : session(config), link(room, session, config) {}
    IrcSession session;
    IrcRoomLink link;
};

void record(Transcript& transcript, Network& network, const ChatRoom& room) {
    QObject::connect(&network.link, &IrcRoomLink::privateReceived, &transcript,
                     [&transcript, &room](const QString& from, const QString& text) {
                         transcript.record(QStringLiteral("msg"), from, room.ownNick(), text);
                     });
    // Server notices and failures: kind "server", never a room line.
    QObject::connect(&network.link, &IrcRoomLink::noticeReceived, &transcript,
                     [&transcript, &room](const QString& from, const QString& text) {
                         transcript.record(QStringLiteral("server"), from, room.ownNick(), text);
                     });
    QObject::connect(&network.link, &IrcRoomLink::statusChanged, &transcript,
                     [&transcript](const QString& status) {
                         transcript.record(QStringLiteral("status"), {}, {}, status);
                     });
}

// One stderr line per change of the connection, for a journal or a supervisor to follow.
void logStatus(const Network& network) {
    QObject::connect(&network.link, &IrcRoomLink::statusChanged, &network.link, [](const QString& status) {
        std::fprintf(stderr, "palvuro-chat: status: %s\n", qUtf8Printable(status));
    });
    QObject::connect(&network.link, &IrcRoomLink::noticeReceived, &network.link,
                     [](const QString& from, const QString& text) {
                         if (from.isEmpty())
                             std::fprintf(stderr, "palvuro-chat: failure: %s\n", qUtf8Printable(text));
                     });
}

// A service manager's SIGTERM (or ^C) leaves the channel with a QUIT, which a killed client
// never says; the program ends once the connection is closed.
void endOnSignal(const SignalWatcher& signals, Network* network) {
    QObject::connect(&signals, &SignalWatcher::received, qApp, [network] {
        if (!network) {
            QApplication::exit(0);
            return;
        }
        QObject::connect(&network->session, &IrcSession::closed, qApp, [] { QApplication::exit(0); });
        network->session.stop();
    });
}

} // namespace

int main(int argc, char** argv) {
    DisplayChoice::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("palvuro-chat"));
    QApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));

    ClientOptions options;
    QString error, usage;
    if (!ClientOptions::parse(QApplication::arguments(), &options, &error, &usage)) {
        std::fprintf(stderr, "palvuro-chat: %s\n%s", qPrintable(error), qPrintable(usage));
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(
            qPrintable(options.help
                           ? usage
                           : QStringLiteral("palvuro-chat %1\n").arg(QApplication::applicationVersion())),
            stdout);
        return 0;
    }

    WindowRegistry registry(BusServer::handleBaseForThisProcess());
    ChatRoom room(registry, options.nick, options.wrapColumns);
    room.setKeepLines(options.keepLines);
    ChatWindow window(room);
    fill(room, options.fillLines);
    std::unique_ptr<Network> network;
    if (options.network) {
        network = std::make_unique<Network>(options.irc, room);
        window.showNetwork(network->link);
        logStatus(*network);
    }
    SignalWatcher signals({SIGTERM, SIGINT});
    endOnSignal(signals, network.get());

    Transcript transcript;
    if (!options.transcript.isEmpty()) {
        if (!transcript.open(options.transcript, &error)) {
            std::fprintf(stderr, "palvuro-chat: cannot write the transcript %s: %s\n",
                         qPrintable(options.transcript), qPrintable(error));
            return 1;
        }
        transcript.attach(room);
        if (network)
            record(transcript, *network, room);
    }

    BusServer bus(registry);
    if (!bus.start()) {
        std::fprintf(stderr, "palvuro-chat: cannot publish the chat windows on the desktop bus: %s\n",
                     qPrintable(bus.errorString()));
        return 1;
    }
    window.show();
    if (network)
        network->session.start();

    ScriptRunner runner(room, options.transcript.isEmpty() ? nullptr : &transcript);
    QObject::connect(&runner, &ScriptRunner::quitRequested, &app,
                     [&runner] { QApplication::exit(runner.expectFailed() ? kExpectFailedStatus : 0); });
    // A script that ran to its end leaves the window open for the person at the screen, unless
    // an expectation failed: then the run is over and its status tells so.
    QObject::connect(&runner, &ScriptRunner::finished, &app, [&runner] {
        if (runner.expectFailed())
            QApplication::exit(kExpectFailedStatus);
        else if (headless())
            QApplication::exit(0);
    });
    if (options.script == QLatin1String("-")) {
        runner.startStdin();
    } else if (!options.script.isEmpty() && !runner.startFile(options.script, &error)) {
        std::fprintf(stderr, "palvuro-chat: cannot read the script %s: %s\n", qPrintable(options.script),
                     qPrintable(error));
        return 1;
    }

    const int status = QApplication::exec();
    return status == 0 && runner.expectFailed() ? kExpectFailedStatus : status;
}
