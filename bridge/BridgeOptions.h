#pragma once

#include <QString>
#include <QStringList>

namespace palvuro {

// palvuro-bridge's command line.
struct BridgeOptions {
    QString client = QStringLiteral("pidgin");
    QString conversation;
    bool list = false;
    bool help = false;
    bool version = false;

    // False with ERROR for a command line that cannot run; USAGE is the --help text.
    static bool parse(const QStringList& arguments, BridgeOptions* options, QString* error, QString* usage);
};

} // namespace palvuro
