#include "bridge/ClientProfile.h"

#include "bridge/PidginProfile.h"

namespace palvuro {

std::unique_ptr<ClientProfile> ClientProfile::create(const QString& name) {
    if (name.compare(QLatin1String("pidgin"), Qt::CaseInsensitive) == 0)
        return std::make_unique<PidginProfile>();
    return nullptr;
}

QStringList ClientProfile::names() {
    return {QStringLiteral("pidgin")};
}

} // namespace palvuro
