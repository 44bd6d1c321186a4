#include "bridge/BridgeOptions.h"
#include "bridge/BridgeWindow.h"
#include "bridge/ClientListing.h"
#include "bridge/ClientProfile.h"
#include "bridge/ConversationLink.h"
#include "chatclient/ChatRoom.h"
#include "chatclient/ClientOptions.h"
#include "platform/BusServer.h"
#include "platform/DisplayChoice.h"
#include "platform/SignalWatcher.h"
#include "platform/WindowRegistry.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

using namespace palvuro;

int main(int argc, char** argv) {
    DisplayChoice::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("palvuro-bridge"));
    QApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));

    BridgeOptions options;
    QString error, usage;
    if (!BridgeOptions::parse(QApplication::arguments(), &options, &error, &usage)) {
        std::fprintf(stderr, "palvuro-bridge: %s\n%s", qPrintable(error), qPrintable(usage));
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(
            qPrintable(options.help
                           ? usage
                           : QStringLiteral("palvuro-bridge %1\n").arg(QApplication::applicationVersion())),
            stdout);
        return 0;
    }
    if (options.list) {
        QString listing;
        const bool seen = ClientListing::write(&listing);
        std::fputs(qUtf8Printable(listing), stdout);
        return seen ? 0 : 1;
    }

    const auto profile = ClientProfile::create(options.client);
    WindowRegistry registry(BusServer::handleBaseForThisProcess());
    ChatRoom room(registry, profile->applicationName());
    room.setKeepLines(ClientOptions::DefaultNetworkKeepLines);
    ConversationLink link(room, *profile, options.conversation);
    QObject::connect(&link, &ConversationLink::statusChanged, &link, [](const QString& status) {
        std::fprintf(stderr, "palvuro-bridge: status: %s\n", qUtf8Printable(status));
    });
    QObject::connect(&link, &ConversationLink::failure, &link, [](const QString& text) {
        std::fprintf(stderr, "palvuro-bridge: %s\n", qUtf8Printable(text));
    });
    BridgeWindow window(link);

    BusServer bus(registry);
    if (!bus.start()) {
        std::fprintf(stderr, "palvuro-bridge: cannot publish the chat windows on the desktop bus: %s\n",
                     qPrintable(bus.errorString()));
        return 1;
    }
    if (!link.start(&error)) {
        std::fprintf(stderr, "palvuro-bridge: %s.\n%s\n", qPrintable(error),
                     qPrintable(profile->howToShow()));
        return 1;
    }
    window.show();

    SignalWatcher signals({SIGTERM, SIGINT});
    QObject::connect(&signals, &SignalWatcher::received, &app, [] { QApplication::exit(0); });
    return QApplication::exec();
}
