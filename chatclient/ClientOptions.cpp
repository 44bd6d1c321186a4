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

// The password file's first line: a trailing line break is not part of the password.
bool readPassword(const QString& path, QByteArray* password, QString* error,
                  const QString& what = QStringLiteral("password")) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the %1 file %2: %3").arg(what, path, file.errorString());
        return false;
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    *password = line;
    return true;
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
    const QCommandLineOption transcript(
        QStringLiteral("transcript"),
        QStringLiteral("Write every room line, private message and notice to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption wrap(
        QStringLiteral("wrap"),
        QStringLiteral("Wrap the room's lines at COLUMNS characters (default 80, 0: never)."),
        QStringLiteral("COLUMNS"));
    const QCommandLineOption keep(
        QStringLiteral("keep-lines"),
        QStringLiteral("Keep at most N lines in the room's window, the oldest dropped in blocks (at least "
                       "%1; 0: all; default %2 in a channel, all in a local room).")
            .arg(MinKeepLines)
            .arg(DefaultNetworkKeepLines),
        QStringLiteral("N"));
    QCommandLineOption fill(QStringLiteral("fill"), QString(), QStringLiteral("LINES"));
    fill.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption account(QStringLiteral("account"),
                                     QStringLiteral("Log in to the network's account NAME (SASL PLAIN)."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("Read the account's password from the first line of FILE."), QStringLiteral("FILE"));
    const QCommandLineOption tlsCa(
        QStringLiteral("tls-ca"),
        QStringLiteral(
            "Trust the CA certificate(s) in FILE (PEM) besides the system's, for a private server."),
        QStringLiteral("FILE"));
    const QCommandLineOption channelKeyFile(
        QStringLiteral("channel-key-file"),
        QStringLiteral("Read the channel's key (+k) from the first line of FILE."), QStringLiteral("FILE"));
    const QCommandLineOption serverPasswordFile(
        QStringLiteral("server-password-file"),
        QStringLiteral(
            "Read the server's password (PASS: a bouncer, a private server) from the first line of "
            "FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption tlsCert(
        QStringLiteral("tls-cert"),
        QStringLiteral("Log in with the client certificate and its key in FILE (PEM; SASL EXTERNAL, CertFP). "
                       "Needs ircs://."),
        QStringLiteral("FILE"));
    const QCommandLineOption allowUnauthenticated(
        QStringLiteral("allow-unauthenticated"),
        QStringLiteral("Stay in the channel without the account when logging in fails (by default the client "
                       "stops and says why)."));
    parser.addOptions({nick, script, transcript, wrap, keep, fill, account, passwordFile, tlsCa,
                       serverPasswordFile, tlsCert, allowUnauthenticated, channelKeyFile});
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
    options->transcript = parser.value(transcript);
    for (const auto& [option, value] :
         {std::pair(&wrap, &options->wrapColumns),
          std::pair<const QCommandLineOption*, int*>(&fill, &options->fillLines)})
        if (parser.isSet(*option) && !count(parser.value(*option), value)) {
            *error = QStringLiteral("--%1 needs a whole number of at least 0, not \"%2\"")
                         .arg(option->names().constFirst(), parser.value(*option));
            return false;
        }

    const bool keepGiven = parser.isSet(keep);
    if (keepGiven && (!count(parser.value(keep), &options->keepLines) ||
                      (options->keepLines > 0 && options->keepLines < MinKeepLines))) {
        *error = QStringLiteral("--keep-lines needs 0 or a whole number of at least %1, not \"%2\"")
                     .arg(MinKeepLines)
                     .arg(parser.value(keep));
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
    const bool networkOnly = parser.isSet(account) || parser.isSet(passwordFile) || parser.isSet(tlsCa) ||
                             parser.isSet(serverPasswordFile) || parser.isSet(tlsCert) ||
                             parser.isSet(allowUnauthenticated) || parser.isSet(channelKeyFile);
    if (!options->network) {
        if (networkOnly) {
            *error = QStringLiteral(
                "--account, --password-file, --server-password-file, --tls-ca, --tls-cert, "
                "--allow-unauthenticated and --channel-key-file need an irc:// or ircs:// URL");
            return false;
        }
        return true;
    }
    IrcSessionConfig& irc = options->irc;
    if (!parseUrl(urls.constFirst(), &irc, error))
        return false;
    irc.nick = options->nick;
    if (!parser.isSet(channelKeyFile))
        irc.channelKey = qgetenv(ChannelKeyVariable);
    else if (!readPassword(parser.value(channelKeyFile), &irc.channelKey, error,
                           QStringLiteral("channel key")))
        return false;
    irc.account = parser.value(account);
    irc.extraCaFile = parser.value(tlsCa);
    irc.clientCertFile = parser.value(tlsCert);
    irc.allowUnauthenticated = parser.isSet(allowUnauthenticated);
    irc.stsPolicyFile = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                        QStringLiteral("/sts-policies.ini");
    for (const auto& [option, file] :
         {std::pair(&tlsCa, irc.extraCaFile), std::pair(&tlsCert, irc.clientCertFile)})
        if (!file.isEmpty() && !QFile::exists(file)) {
            *error = QStringLiteral("--%1: no file %2").arg(option->names().constFirst(), file);
            return false;
        }
    if (!irc.tls && (!irc.account.isEmpty() || !irc.clientCertFile.isEmpty())) {
        *error =
            QStringLiteral("%1 needs ircs://: over irc:// the login would cross the network in plain text")
                .arg(irc.account.isEmpty() ? QStringLiteral("--tls-cert") : QStringLiteral("--account"));
        return false;
    }
    if (!parser.isSet(serverPasswordFile))
        irc.serverPassword = qgetenv(ServerPasswordVariable);
    else if (!readPassword(parser.value(serverPasswordFile), &irc.serverPassword, error))
        return false;
    if (irc.account.isEmpty()) {
        if (parser.isSet(passwordFile)) {
            *error = QStringLiteral("--password-file needs an --account");
            return false;
        }
        return true;
    }
    if (parser.isSet(passwordFile) ? !readPassword(parser.value(passwordFile), &irc.password, error)
                                   : (irc.password = qgetenv(PasswordVariable)).isEmpty()) {
        if (!parser.isSet(passwordFile))
            *error = QStringLiteral("--account needs a password in %1 or a --password-file")
                         .arg(QLatin1String(PasswordVariable));
        return false;
    }
    return true;
}

} // namespace palvuro
