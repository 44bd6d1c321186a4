#pragma once

#include "chatclient/NetworkOptions.h"
#include "irc/IrcSession.h"

#include <QString>
#include <QStringList>

namespace palvuro {

// palvuro-chat's command line: the local room by default, a channel when an irc:// or ircs://
// URL is given. As a benchmarking aid left out of the help text, --fill N: the room starts
// with N lines of 60 characters, said before the window is shown and the script starts.
struct ClientOptions {
    // The environment variable that may hold the account's password.
    static constexpr const char* PasswordVariable = "PALVURO_IRC_PASSWORD";
    // A channel's window keeps this many lines unless --keep-lines says otherwise; a local
    // room keeps all.
    static constexpr int DefaultNetworkKeepLines = NetworkOptions::DefaultNetworkKeepLines;
    // The one that may hold the server's password (PASS).
    static constexpr const char* ServerPasswordVariable = "PALVURO_IRC_SERVER_PASSWORD";
    // The environment variable that may hold the channel's key.
    static constexpr const char* ChannelKeyVariable = "PALVURO_IRC_CHANNEL_KEY";

    // ARGUMENTS as QCoreApplication::arguments() gives them (the program first). False with
    // *error for an unknown option, a missing or bad value, or a bad URL; then *help holds the
    // usage text.
    static bool parse(const QStringList& arguments, ClientOptions* options, QString* error, QString* help);
    // "irc://HOST[:PORT]/CHANNEL" or "ircs://...": host, port, TLS and channel into *config.
    static bool parseUrl(const QString& url, IrcSessionConfig* config, QString* error);

    QString nick = QStringLiteral("Guest");
    QString script;     // "-" is standard input
    QString transcript; // empty: none written
    int wrapColumns = 80;
    int fillLines = 0;
    int keepLines = 0; // 0: all
    bool help = false;
    bool version = false;
    bool network = false; // a URL was given: irc holds where to
    IrcSessionConfig irc;
};

} // namespace palvuro
