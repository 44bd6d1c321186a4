#pragma once

#include "chatclient/NetworkOptions.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace palvuro {

// What one host runs: the channel and nick the client joins with its network options, the
// bot's data folder, and the operator's settings the bot starts with. A config file (INI,
// keys named as the long options) gives the same as the command line; an option given on the
// command line wins over the file.
struct HostOptions {
    // Operator's settings: absent from the map when neither the file nor the line gives them,
    // so that the bot keeps what it has stored.
    static constexpr const char* AnswerTime = "answer-time";
    static constexpr const char* QuestionPause = "question-pause";
    static constexpr const char* GiveAnswer = "give-answer";
    // The file systemd's LoadCredential= puts the account's password in.
    static constexpr const char* CredentialName = "password";

    // ARGUMENTS as QCoreApplication::arguments() gives them. False with *error for an unknown
    // option, a bad value or a config file that cannot be read; *usage then holds the help.
    static bool parse(const QStringList& arguments, HostOptions* options, QString* error, QString* usage);

    // The client's command line (without the program), the bot's, and the values that must
    // reach the bot's stored settings.
    QStringList clientArguments() const;
    QStringList botArguments() const;

    QString folder; // absolute
    QString configFile;
    QString url;
    QString nick;
    QString database;                // --database: the bot's questions and scores on a server
    NetworkOptions network;          // passed on to the client as given
    QMap<QString, QString> settings; // AnswerTime, QuestionPause, GiveAnswer
    int hangLimitMs = 0;             // a child that answers nothing this long is restarted; 0: the default
    bool status = false;
    bool help = false;
    bool version = false;
};

} // namespace palvuro
