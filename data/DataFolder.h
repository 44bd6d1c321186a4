#pragma once

#include <QString>

namespace palvuro {

// The folder of Trivia.mdb and "Users List.txt". The bot has always kept them beside its
// executable; an installed bot cannot (or, run as root, must not) write there, so it keeps them
// in the user's data folder instead. The bot and palvuro-import both ask here, so that an import
// lands where the bot will look.
class DataFolder {
public:
    enum class Source { Explicit, ProgramFolder, UserData };
    struct Choice {
        QString path;
        Source source = Source::ProgramFolder;
    };

    // The folder to use, without creating anything: `explicitFolder` when given, otherwise
    // `programFolder` unless it is an installed one or cannot be written, otherwise userData().
    static Choice choose(const QString& programFolder, const QString& explicitFolder = {});
    // The folder the bot beside the running program uses without --folder: where a tool installed
    // with the bot finds its data.
    static Choice botDefault();
    // Creates the folder when missing and checks that files can be made in it; false with *error
    // saying why otherwise.
    static bool prepare(const QString& path, QString* error);

    // $XDG_DATA_HOME/palvuro-trivia (~/.local/share/palvuro-trivia): whichever program asks.
    static QString userData();
    // An installed program sits in PREFIX/bin with its desktop entry in PREFIX/share/applications.
    static bool isInstalled(const QString& programFolder);
    // Whether a file can really be made there; permission bits alone do not tell for root.
    static bool canWriteIn(const QString& folder);
    // One line for the log and --help: "the program's folder /x", ...
    static QString describe(const Choice& choice);
};

} // namespace palvuro
