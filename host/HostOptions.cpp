#include "host/HostOptions.h"

#include "chatclient/ClientOptions.h"
#include "data/DataFolder.h"
#include "data/ServerAddress.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace palvuro {

namespace {

struct Setting {
    const char* name;
    int low, high; // 0, 0: a switch
};
constexpr Setting kSettings[] = {
    {HostOptions::AnswerTime, 1, 120}, {HostOptions::QuestionPause, 1, 300}, {HostOptions::GiveAnswer, 0, 0}};

QString description() {
    return QStringLiteral(
        "Hosts one channel unattended: runs palvuro-chat joined to URL and palvuro-trivia attached to\n"
        "it, with no display, restarts either when it ends or stops answering, and keeps\n"
        "FOLDER/host-status.json up to date. SIGTERM ends both cleanly, SIGHUP reads the config again.\n"
        "A config file (INI) takes the long options' names as keys: url=irc://host/%23trivia,\n"
        "nick=TriviaBot, answer-time=30, ... Options on the command line win over the file.\n"
        "palvuro-chat's options for the room and the channel are taken here too and passed on.\n"
        "The account's password comes from PALVURO_IRC_PASSWORD, --password-file, or the\n"
        "credential \"password\" a systemd unit loads; never from the config.\n"
        "Exit status: 0 after a clean stop (--status: joined and the bot connected), 1 otherwise,\n"
        "2 for bad arguments or a bad config.");
}

QString option(const char* name) {
    return QLatin1String(name);
}

bool fail(QString* error, const QString& text) {
    *error = text;
    return false;
}

// The settings as the bot stores them: whole seconds, and "1" or "0" for the switch.
bool normalise(const Setting& setting, const QString& value, QString* out, QString* error) {
    const QString v = value.trimmed().toLower();
    if (setting.high == 0) {
        bool on = false;
        if (!NetworkOptions::parseSwitch(v, &on))
            return fail(error,
                        QStringLiteral("%1 is yes or no, not \"%2\"").arg(option(setting.name), value));
        *out = on ? QStringLiteral("1") : QStringLiteral("0");
        return true;
    }
    bool ok = false;
    const int n = v.toInt(&ok);
    if (!ok || n < setting.low || n > setting.high)
        return fail(error, QStringLiteral("%1 is a number of seconds from %2 to %3, not \"%4\"")
                               .arg(option(setting.name))
                               .arg(setting.low)
                               .arg(setting.high)
                               .arg(value));
    *out = QString::number(n);
    return true;
}

QStringList knownKeys() {
    QStringList keys{QStringLiteral("url"), QStringLiteral("nick"), QStringLiteral("folder"),
                     QStringLiteral("database")};
    keys << NetworkOptions::names();
    for (const Setting& s : kSettings)
        keys << option(s.name);
    return keys;
}

// KEY=VALUE pairs of the file, every key one we know; the client's own options apart.
bool readConfig(const QString& path, QMap<QString, QString>* values, NetworkOptions* network,
                QString* error) {
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable())
        return fail(error, QStringLiteral("cannot read the config %1").arg(path));
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return fail(error, QStringLiteral("the config %1 is not an INI file").arg(path));
    const QStringList known = knownKeys();
    for (const QString& key : file.allKeys()) {
        if (key == QLatin1String("password"))
            return fail(error, QStringLiteral("%1: a password does not belong in the config (use "
                                              "password-file, PALVURO_IRC_PASSWORD or a credential)")
                                   .arg(path));
        if (!known.contains(key))
            return fail(error, QStringLiteral("%1: unknown key \"%2\"").arg(path, key));
        if (!NetworkOptions::names().contains(key))
            values->insert(key, file.value(key).toString());
    }
    if (!NetworkOptions::fromSettings(file, network, error))
        return fail(error, path + QStringLiteral(": ") + *error);
    return true;
}

// Under systemd the unit loads the password as a credential; it is used when nothing else
// names one.
void takeCredential(NetworkOptions* client) {
    const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString passwordFile = QLatin1String(NetworkOptions::PasswordFile);
    if (!client->isSet(QLatin1String(NetworkOptions::Account)) || client->isSet(passwordFile) ||
        qEnvironmentVariableIsSet(ClientOptions::PasswordVariable) || credentials.isEmpty())
        return;
    const QString file = QDir(credentials).filePath(QLatin1String(HostOptions::CredentialName));
    if (QFileInfo::exists(file))
        client->set(passwordFile, file);
}

} // namespace

bool HostOptions::parse(const QStringList& arguments, HostOptions* options, QString* error, QString* usage) {
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Read the options from FILE (INI)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("The bot's data folder: Trivia.mdb, Users List.txt, its settings, the status file."),
        QStringLiteral("DIR"));
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("Print the running host's status and end."));
    // Tests shorten the hang limit; nobody else needs to.
    QCommandLineOption hangLimit(QStringLiteral("hang-limit"), QStringLiteral("Seconds."),
                                 QStringLiteral("S"));
    hangLimit.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({config, folder, status, hangLimit});
    parser.addOptions(NetworkOptions::commandLineOptions());
    const QMap<QString, QString> help{
        {QStringLiteral("nick"), QStringLiteral("The bot's nick in the channel.")},
        {QStringLiteral("database"),
         QStringLiteral("Keep the bot's questions and scores in the PostgreSQL database URL (%1), shared "
                        "with other hosts.")
             .arg(ServerAddress::forms())},
        {option(AnswerTime), QStringLiteral("Seconds to answer a question (1-120).")},
        {option(QuestionPause), QStringLiteral("Seconds between questions (1-300).")},
        {option(GiveAnswer), QStringLiteral("yes: \"Times Up!\" tells the answer; no: it does not.")}};
    QList<QCommandLineOption> passed;
    for (auto it = help.begin(); it != help.end(); ++it)
        passed << QCommandLineOption(it.key(), it.value(), QStringLiteral("VALUE"));
    parser.addOptions(passed);
    parser.addPositionalArgument(QStringLiteral("URL"),
                                 QStringLiteral("irc://HOST[:PORT]/CHANNEL or ircs://HOST[:PORT]/CHANNEL"),
                                 QStringLiteral("[URL]"));
    *usage = parser.helpText();
    if (!parser.parse(arguments))
        return fail(error, parser.errorText());
    options->help = parser.isSet(helpOption);
    options->version = parser.isSet(versionOption);
    options->status = parser.isSet(status);
    if (options->help || options->version)
        return true;

    QMap<QString, QString> values;
    options->configFile = parser.value(config);
    if (!options->configFile.isEmpty()) {
        options->configFile = QFileInfo(options->configFile).absoluteFilePath();
        if (!readConfig(options->configFile, &values, &options->network, error))
            return false;
    }
    for (const QCommandLineOption& o : passed)
        if (parser.isSet(o))
            values.insert(o.names().constFirst(), parser.value(o));
    if (parser.isSet(folder))
        values.insert(QStringLiteral("folder"), parser.value(folder));
    const QStringList urls = parser.positionalArguments();
    if (urls.size() > 1)
        return fail(error, QStringLiteral("one URL at most, not \"%1\"").arg(urls.join(QLatin1Char(' '))));
    if (!urls.isEmpty())
        values.insert(QStringLiteral("url"), urls.constFirst());

    const QString dir = values.value(QStringLiteral("folder"));
    options->folder =
        QDir(dir.isEmpty() ? DataFolder::choose(QCoreApplication::applicationDirPath()).path : dir)
            .absolutePath();
    if (options->status)
        return true;
    if (parser.isSet(hangLimit)) {
        bool ok = false;
        const int seconds = parser.value(hangLimit).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 3600)
            return fail(error, QStringLiteral("--hang-limit is a number of seconds from 1 to 3600"));
        options->hangLimitMs = seconds * 1000;
    }
    options->url = values.value(QStringLiteral("url"));
    options->nick = values.value(QStringLiteral("nick"));
    options->database = values.value(QStringLiteral("database"));
    if (!options->database.isEmpty() && !ServerAddress::parse(options->database, error))
        return false;
    if (options->url.isEmpty() || options->nick.trimmed().isEmpty())
        return fail(error, QStringLiteral("a URL and a --nick are needed (or a --config that names them)"));
    options->network.override(NetworkOptions::fromParser(parser));
    takeCredential(&options->network);
    for (const Setting& s : kSettings) {
        QString value;
        if (values.contains(option(s.name))) {
            if (!normalise(s, values.value(option(s.name)), &value, error))
                return false;
            options->settings.insert(option(s.name), value);
        }
    }
    // The client's own rules decide whether it could start with these.
    ClientOptions client;
    QString clientUsage;
    return ClientOptions::parse(QStringList{QStringLiteral("palvuro-chat")} + options->clientArguments(),
                                &client, error, &clientUsage);
}

QStringList HostOptions::clientArguments() const {
    return QStringList{url, QStringLiteral("--nick"), nick} + network.arguments();
}

QStringList HostOptions::botArguments() const {
    QStringList out{QStringLiteral("--connect"), nick, QStringLiteral("--folder"), folder};
    if (!database.isEmpty())
        out << QStringLiteral("--database") << database;
    return out;
}

} // namespace palvuro
