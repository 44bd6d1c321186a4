#include "a11y/AccessibilityBus.h"

#include "a11y/A11yLog.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <atspi/atspi.h>

namespace palvuro {

namespace {

constexpr long kReturnKeySym = 0xff0d;
constexpr int kGlibPollMs = 20;

bool gSharesQtLoop = false;

void runGlibFromQtTimer() {
    // Qt without its GLib dispatcher: GLib's sources (the bus's messages among them) are looked
    // at from a timer of the application, which lives as long as the loop.
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [] {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    });
    timer->start(kGlibPollMs);
}

} // namespace

bool AccessibilityBus::connect(QString* why) {
    static int result = -1;
    if (result < 0) {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
            qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            if (why)
                *why = QStringLiteral("no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");
            return false;
        }
        result = atspi_init();
        if (result > 1) {
            qCWarning(lcA11y) << "cannot connect to the accessibility bus";
        } else {
            atspi_set_timeout(CallTimeoutMs, CallTimeoutMs);
            const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
            gSharesQtLoop = dispatcher && dispatcher->inherits("QEventDispatcherGlib");
            if (!gSharesQtLoop && QCoreApplication::instance())
                runGlibFromQtTimer();
        }
    }
    if (result > 1 && why)
        *why = QStringLiteral("cannot connect to the accessibility bus");
    return result <= 1;
}

bool AccessibilityBus::sharesQtLoop() {
    return gSharesQtLoop;
}

void AccessibilityBus::dispatchPending(const AccessibleNode& of) {
    if (!atspi_is_initialized())
        return;
    DBusConnection* bus = atspi_get_a11y_bus();
    const AtspiApplication* application = of.isNull() ? nullptr : of.handle()->parent.app;
    for (DBusConnection* connection : {bus, application ? application->bus : nullptr}) {
        if (!connection)
            continue;
        while (dbus_connection_dispatch(connection) == DBUS_DISPATCH_DATA_REMAINS) {
        }
    }
}

bool AccessibilityBus::pressReturn() {
    GError* error = nullptr;
    const bool pressed = atspi_generate_keyboard_event(kReturnKeySym, nullptr, ATSPI_KEY_SYM, &error);
    if (error) {
        qCWarning(lcA11y) << "cannot press Return:" << error->message;
        g_error_free(error);
        return false;
    }
    return pressed;
}

} // namespace palvuro
