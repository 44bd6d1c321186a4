#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "platform/BusWindowApi.h"
#include "platform/QtEventPump.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Palvuro Trivia"));
    // Only the program's own decisions end it: the main window hides to the tray, and closing
    // an editor while the main window is hidden must not end the bot.
    QApplication::setQuitOnLastWindowClosed(false);

    palvuro::SingleInstance instance;
    if (!instance.claimOrWarn())
        return 0;

    palvuro::QtEventPump pump;
    palvuro::BusWindowApi windows;
    palvuro::MainWindow window(windows, pump, QCoreApplication::applicationDirPath());
    QObject::connect(&window, &palvuro::MainWindow::programEnding, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return QApplication::exec();
}
