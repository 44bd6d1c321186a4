#pragma once

#include "data/ServerAddress.h"
#include "data/TriviaStore.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace palvuro {

// palvuro-trivia's command line: --help, --version, --folder DIR, --database URL and --connect NICK. It
// settles the data folder (creating it when missing) before any window opens, so that a bad folder ends the
// program before anything is written anywhere.
class TriviaCommandLine {
public:
    static constexpr int ExitUsage = 2; // bad usage, or a data folder that cannot be made

    struct Result {
        bool run = false; // go on with `folder`; otherwise end with exitCode
        int exitCode = 0;
        QString folder;
        std::optional<ServerAddress> server; // --database: the questions and scores on a server
        QString connectNick; // --connect: the nick the bot connects as by itself; empty without
        QString out, err;    // for standard output and standard error

        TriviaStore store() const { return server ? TriviaStore(folder, *server) : TriviaStore(folder); }
    };

    // `arguments` start with the program's name, as QCoreApplication::arguments() gives them;
    // `programFolder` is the executable's folder.
    static Result read(const QStringList& arguments, const QString& programFolder);
    // --help or --version: nothing but text, which needs no display.
    static bool onlyPrints(const QStringList& arguments);
};

} // namespace palvuro
