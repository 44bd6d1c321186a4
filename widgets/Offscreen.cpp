#include "widgets/Offscreen.h"

#include <QGuiApplication>

namespace palvuro {

bool Offscreen::active() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace palvuro
