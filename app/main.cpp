#include "app/AppLog.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/TriviaCommandLine.h"
#include "platform/BusServer.h"
#include "platform/BusWindowApi.h"
#include "platform/DisplayChoice.h"
#include "platform/QtEventPump.h"
#include "platform/SignalWatcher.h"
#include "platform/WindowRegistry.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

QStringList rawArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void print(const QString& text, FILE* stream) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Reads the command line; the result tells whether to go on.
palvuro::TriviaCommandLine::Result readCommandLine(const QStringList& arguments) {
    auto result = palvuro::TriviaCommandLine::read(arguments, QCoreApplication::applicationDirPath());
    print(result.out, stdout);
    print(result.err, stderr);
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Palvuro Trivia"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));
    const bool offscreen = palvuro::DisplayChoice::offscreenWithoutDisplay();
    // --help and --version work without a screen (a man page viewer over ssh, a packaging script).
    if (palvuro::TriviaCommandLine::onlyPrints(rawArguments(argc, argv))) {
        QCoreApplication core(argc, argv);
        return readCommandLine(QCoreApplication::arguments()).exitCode;
    }
    QApplication app(argc, argv);
    // Only the program's own decisions end it: the main window hides to the tray, and closing
    // an editor while the main window is hidden must not end the bot.
    QApplication::setQuitOnLastWindowClosed(false);
    const auto commandLine = readCommandLine(QApplication::arguments());
    if (!commandLine.run)
        return commandLine.exitCode;

    palvuro::SingleInstance instance;
    if (!instance.claimOrWarn())
        return 0;

    // The bot's window is on the desktop bus as any window is: whoever watches the bot (a host)
    // sees from its answers that the bot still handles its events.
    palvuro::WindowRegistry published(palvuro::BusServer::handleBaseForThisProcess());
    published.create(0, "PalvuroTriviaMain", "Palvuro Trivia");
    palvuro::BusServer bus(published);
    if (!bus.start())
        qCWarning(lcApp).noquote() << "the bot's window is not on the desktop bus:" << bus.errorString();

    palvuro::QtEventPump pump;
    palvuro::BusWindowApi windows;
    palvuro::MainWindow window(windows, pump, commandLine.store());
    QObject::connect(&window, &palvuro::MainWindow::programEnding, &app, [] { QCoreApplication::exit(0); });
    // A service manager's SIGTERM (or ^C) ends the bot as File > Exit Trivia does: the room
    // hears that the game ended.
    palvuro::SignalWatcher signals({SIGTERM, SIGINT});
    QObject::connect(&signals, &palvuro::SignalWatcher::received, &window,
                     [&window] { window.mnu_exit_Click(); });
    window.show();
    if (!commandLine.connectNick.isEmpty())
        window.connectAutomatically(commandLine.connectNick);
    else if (offscreen)
        qCWarning(lcApp) << "there is no display, so nobody can press Connect; start the bot with "
                            "--connect NICK to connect it without one";
    return QApplication::exec();
}
