#pragma once

#include <QString>
#include <QStringList>

namespace palvuro {

// palvuro-chat's command line:
//   palvuro-chat [--nick NAME] [--script FILE|-] [--transcript FILE] [--wrap COLUMNS]
// and, as a benchmarking aid left out of the usage text, --fill N: the room starts with N
// lines of 60 characters, said before the window is shown and the script starts.
struct ClientOptions {
    static QString usage();
    // arguments as QCoreApplication::arguments() gives them (the program first). False with
    // *error for an unknown option, a missing or bad value, or a stray argument.
    static bool parse(const QStringList& arguments, ClientOptions* options, QString* error);

    QString nick = QStringLiteral("Guest");
    QString script;     // "-" is standard input
    QString transcript; // empty: none written
    int wrapColumns = 80;
    int fillLines = 0;
    bool help = false;
};

} // namespace palvuro
