#include "chatclient/ClientOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

namespace palvuro {

namespace {

constexpr quint16 kPlainPort = 6667;
constexpr quint16 kTlsPort = 6697;

bool count(const QString& text, int* value) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0)
        return false;
    *value = n;
    return true;
}

QString description() {
    return QStringLiteral(
        "The chat room Palvuro Trivia hosts its games in.\n"
        "Without a URL it opens a local room, where the person at the client may speak as any\n"
        "nick. With irc://HOST[:PORT]/CHANNEL or ircs://HOST[:PORT]/CHANNEL (TLS) it joins that\n"
        "channel instead (ports 6667 and 6697 by default; # may be written as is or as %23).\n"
        "An account's password is read from the environment variable PALVURO_IRC_PASSWORD or\n"
        "from the file given with --password-file, and a server's password from\n"
        "PALVURO_IRC_SERVER_PASSWORD or --server-password-file: never from the command line.\n"
        "An account's password is only sent over TLS (ircs://).\n"
        "A channel's key is read from PALVURO_IRC_CHANNEL_KEY or --channel-key-file.\n"
        "A script ends at its last line, or at the end of standard input. Without a screen\n"
        "(QT_QPA_PLATFORM=offscreen) the program then ends; with one the window stays open.\n"
        "The exit status is 3 when an expect timed out (then the program ends with the script),\n"
        "2 for bad arguments, 1 when the desktop bus or a file fails.");
}

} // namespace

bool ClientOptions::parseUrl(const QString& text, IrcSessionConfig* config, QString* error) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("irc") && scheme != QLatin1String("ircs")) ||
        url.host().isEmpty()) {
        *error = QStringLiteral("\"%1\" is not an irc://HOST[:PORT]/CHANNEL or ircs://... URL").arg(text);
        return false;
    }
    QString channel = url.path(QUrl::FullyDecoded);
    if (channel.startsWith(QLatin1Char('/')))
        channel.remove(0, 1);
    // A "#" written as is ("irc://host/#trivia", as web pages show channels) starts the URL's
    // fragment: it belongs to the channel's name all the same.
    if (url.hasFragment())
        channel += QLatin1Char('#') + url.fragment(QUrl::FullyDecoded);
    // "irc://host/trivia" means #trivia, as IRC URLs allow.
    if (!channel.isEmpty() && !channel.startsWith(QLatin1Char('#')) && !channel.startsWith(QLatin1Char('&')))
        channel.prepend(QLatin1Char('#'));
    if (channel.size() < 2 || channel.contains(QLatin1Char(' ')) || channel.contains(QLatin1Char(',')) ||
        channel.contains(QLatin1Char('/'))) {
        *error = QStringLiteral("\"%1\" names no channel (irc://host/%23trivia)").arg(text);
        return false;
    }
    config->tls = scheme == QLatin1String("ircs");
    config->host = url.host();
    config->port = static_cast<quint16>(url.port(config->tls ? kTlsPort : kPlainPort));
    config->channel = channel;
    return true;
}

bool ClientOptions::parse(const QStringList& arguments, ClientOptions* options, QString* error,
                          QString* help) {
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption nick(QStringLiteral("nick"),
                                  QStringLiteral("The client's own nick (default Guest)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption script(
        QStringLiteral("script"),
        QStringLiteral("Play a room script from FILE or standard input (-); its lines: say NICK TEXT, "
                       "wait MS, expect TEXT [MS], join NICK, leave NICK, quit."),
        QStringLiteral("FILE|-"));
    QCommandLineOption fill(QStringLiteral("fill"), QString(), QStringLiteral("LINES"));
    fill.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions(QList<QCommandLineOption>{nick, script, fill} + NetworkOptions::commandLineOptions());
    parser.addPositionalArgument(QStringLiteral("URL"),
                                 QStringLiteral("irc://HOST[:PORT]/CHANNEL or ircs://HOST[:PORT]/CHANNEL"),
                                 QStringLiteral("[URL]"));
    *help = parser.helpText();

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    options->help = parser.isSet(helpOption);
    options->version = parser.isSet(versionOption);
    if (parser.isSet(nick)) {
        options->nick = parser.value(nick);
        if (options->nick.trimmed().isEmpty()) {
            *error = QStringLiteral("--nick needs a name");
            return false;
        }
    }
    options->script = parser.value(script);
    const NetworkOptions net = NetworkOptions::fromParser(parser);
    options->transcript = net.value(QLatin1String(NetworkOptions::Transcript));
    for (const auto& [name, value] : {std::pair(QLatin1String(NetworkOptions::Wrap), &options->wrapColumns),
                                      std::pair(QLatin1String("fill"), &options->fillLines)}) {
        const QString text = parser.value(name);
        if (parser.isSet(name) && !count(text, value)) {
            *error = QStringLiteral("--%1 needs a whole number of at least 0, not \"%2\"").arg(name, text);
            return false;
        }
    }

    const QString keep = QLatin1String(NetworkOptions::KeepLines);
    const bool keepGiven = net.isSet(keep);
    if (keepGiven && (!count(net.value(keep), &options->keepLines) ||
                      (options->keepLines > 0 && options->keepLines < NetworkOptions::MinKeepLines))) {
        *error = QStringLiteral("--keep-lines needs 0 or a whole number of at least %1, not \"%2\"")
                     .arg(NetworkOptions::MinKeepLines)
                     .arg(net.value(keep));
        return false;
    }

    const QStringList urls = parser.positionalArguments();
    if (urls.size() > 1) {
        *error = QStringLiteral("one URL at most, not \"%1\"").arg(urls.join(QLatin1Char(' ')));
        return false;
    }
    options->network = !urls.isEmpty();
    if (options->network && !keepGiven)
        options->keepLines = DefaultNetworkKeepLines;
    if (!options->network) {
        if (net.needsUrl()) {
            *error = QStringLiteral("--%1 need an irc:// or ircs:// URL")
                         .arg(NetworkOptions::networkOnlyNames().join(QStringLiteral(", --")));
            return false;
        }
        return true;
    }
    IrcSessionConfig& irc = options->irc;
    if (!parseUrl(urls.constFirst(), &irc, error))
        return false;
    irc.nick = options->nick;
    irc.account = net.value(QLatin1String(NetworkOptions::Account));
    irc.extraCaFile = net.value(QLatin1String(NetworkOptions::TlsCa));
    irc.clientCertFile = net.value(QLatin1String(NetworkOptions::TlsCert));
    irc.allowUnauthenticated = net.isOn(QLatin1String(NetworkOptions::AllowUnauthenticated));
    irc.stsPolicyFile = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                        QStringLiteral("/sts-policies.ini");
    for (const auto& [name, file] : {std::pair(NetworkOptions::TlsCa, irc.extraCaFile),
                                     std::pair(NetworkOptions::TlsCert, irc.clientCertFile)})
        if (!file.isEmpty() && !QFile::exists(file)) {
            *error = QStringLiteral("--%1: no file %2").arg(QLatin1String(name), file);
            return false;
        }
    if (!irc.tls && (!irc.account.isEmpty() || !irc.clientCertFile.isEmpty())) {
        *error =
            QStringLiteral("%1 needs ircs://: over irc:// the login would cross the network in plain text")
                .arg(irc.account.isEmpty() ? QStringLiteral("--tls-cert") : QStringLiteral("--account"));
        return false;
    }
    const QString passwordFile = QLatin1String(NetworkOptions::PasswordFile);
    if (!net.secret(QLatin1String(NetworkOptions::ChannelKeyFile), ChannelKeyVariable,
                    QStringLiteral("channel key"), &irc.channelKey, error) ||
        !net.secret(QLatin1String(NetworkOptions::ServerPasswordFile), ServerPasswordVariable,
                    QStringLiteral("password"), &irc.serverPassword, error))
        return false;
    if (irc.account.isEmpty()) {
        if (net.isSet(passwordFile)) {
            *error = QStringLiteral("--password-file needs an --account");
            return false;
        }
        return true;
    }
    if (!net.secret(passwordFile, PasswordVariable, QStringLiteral("password"), &irc.password, error))
        return false;
    if (irc.password.isEmpty() && !net.isSet(passwordFile)) {
        *error = QStringLiteral("--account needs a password in %1 or a --password-file")
                     .arg(QLatin1String(PasswordVariable));
        return false;
    }
    return true;
}

} // namespace palvuro
