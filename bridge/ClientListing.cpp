#include "bridge/ClientListing.h"

#include "a11y/AccessibilityBus.h"
#include "a11y/AccessibleSearch.h"
#include "bridge/ClientProfile.h"
#include "bridge/ProcessTable.h"

namespace palvuro {

bool ClientListing::write(QString* out) {
    QString why;
    if (!AccessibilityBus::connect(&why)) {
        *out += QStringLiteral("No accessibility bus: %1.\n").arg(why);
        for (const QString& name : ClientProfile::names())
            *out += ClientProfile::create(name)->howToShow() + QLatin1Char('\n');
        return false;
    }
    QStringList known;
    for (const QString& name : ClientProfile::names()) {
        const auto profile = ClientProfile::create(name);
        known << profile->applicationName();
        const QList<AccessibleNode> applications =
            AccessibleSearch::applicationsNamed(profile->applicationName());
        if (applications.isEmpty()) {
            *out += ProcessTable::runs(profile->processName())
                        ? QStringLiteral("%1: runs, but does not show itself on the accessibility bus.\n%2\n")
                              .arg(name, profile->howToShow())
                        : QStringLiteral("%1: not running.\n").arg(name);
            continue;
        }
        QStringList conversations;
        for (const AccessibleNode& application : applications)
            conversations << profile->conversations(application);
        if (conversations.isEmpty())
            *out += QStringLiteral("%1: no open conversation.\n").arg(name);
        for (const QString& conversation : conversations)
            *out += QStringLiteral("%1: %2\n").arg(name, conversation);
    }
    QStringList others;
    for (const AccessibleNode& application : AccessibleSearch::applications())
        if (const QString name = application.name();
            !name.isEmpty() && !known.contains(name, Qt::CaseInsensitive))
            others << name;
    if (!others.isEmpty())
        *out += QStringLiteral("Also on the accessibility bus: %1.\n").arg(others.join(u", "));
    return true;
}

} // namespace palvuro
