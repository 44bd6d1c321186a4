#include "chatclient/ClientOptions.h"

namespace palvuro {

namespace {

bool count(const QString& text, int* value) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0)
        return false;
    *value = n;
    return true;
}

} // namespace

QString ClientOptions::usage() {
    return QStringLiteral(
        "usage: palvuro-chat [--nick NAME] [--script FILE|-] [--transcript FILE] [--wrap COLUMNS]\n"
        "  --nick NAME        the client's own nick (default Guest)\n"
        "  --script FILE|-    play a room script from FILE or standard input; its lines:\n"
        "                     say NICK TEXT, wait MS, expect TEXT [MS], join NICK, leave NICK, quit\n"
        "  --transcript FILE  write every room line, private message and notice to FILE\n"
        "  --wrap COLUMNS     wrap the room's lines at COLUMNS characters (default 80, 0: never)\n"
        "A script ends at its last line, or at the end of standard input. Without a screen\n"
        "(QT_QPA_PLATFORM=offscreen) the program then ends; with one the window stays open.\n"
        "The exit status is 3 when an expect timed out (then the program ends with the script),\n"
        "2 for bad arguments, 1 when the desktop bus or a file fails.\n");
}

bool ClientOptions::parse(const QStringList& arguments, ClientOptions* options, QString* error) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            options->help = true;
            continue;
        }
        const bool takesValue = arg == QLatin1String("--nick") || arg == QLatin1String("--script") ||
                                arg == QLatin1String("--transcript") || arg == QLatin1String("--wrap") ||
                                arg == QLatin1String("--fill");
        if (!takesValue) {
            *error = QStringLiteral("unknown argument \"%1\"").arg(arg);
            return false;
        }
        if (i + 1 >= arguments.size()) {
            *error = QStringLiteral("%1 needs a value").arg(arg);
            return false;
        }
        const QString& value = arguments.at(++i);
        if (arg == QLatin1String("--nick")) {
            if (value.trimmed().isEmpty()) {
                *error = QStringLiteral("--nick needs a name");
                return false;
            }
            options->nick = value;
        } else if (arg == QLatin1String("--script")) {
            options->script = value;
        } else if (arg == QLatin1String("--transcript")) {
            options->transcript = value;
        } else if (!count(value,
                          arg == QLatin1String("--wrap") ? &options->wrapColumns : &options->fillLines)) {
            *error = QStringLiteral("%1 needs a whole number of at least 0, not \"%2\"").arg(arg, value);
            return false;
        }
    }
    return true;
}

} // namespace palvuro
