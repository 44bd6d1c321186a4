#include "chatclient/NetworkOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QSettings>

namespace palvuro {

namespace {

struct Described {
    const char* name;
    const char* valueName; // nullptr: a switch
    bool networkOnly;
    const char* help;
};

constexpr Described kOptions[] = {
    {NetworkOptions::Transcript, "FILE", false, "Write every room line, private message and notice to FILE."},
    {NetworkOptions::Wrap, "COLUMNS", false,
     "Wrap the room's lines at COLUMNS characters (default 80, 0: never)."},
    {NetworkOptions::KeepLines, "N", false,
     "Keep at most N lines in the room's window, the oldest dropped in blocks (at least %1; 0: all; default "
     "%2 "
     "in a channel, all in a local room)."},
    {NetworkOptions::Account, "NAME", true, "Log in to the network's account NAME (SASL PLAIN)."},
    {NetworkOptions::PasswordFile, "FILE", true, "Read the account's password from the first line of FILE."},
    {NetworkOptions::ServerPasswordFile, "FILE", true,
     "Read the server's password (PASS: a bouncer, a private server) from the first line of FILE."},
    {NetworkOptions::ChannelKeyFile, "FILE", true,
     "Read the channel's key (+k) from the first line of FILE."},
    {NetworkOptions::TlsCa, "FILE", true,
     "Trust the CA certificate(s) in FILE (PEM) besides the system's, for a private server."},
    {NetworkOptions::TlsCert, "FILE", true,
     "Log in with the client certificate and its key in FILE (PEM; SASL EXTERNAL, CertFP). Needs ircs://."},
    {NetworkOptions::AllowUnauthenticated, nullptr, true,
     "Stay in the channel without the account when logging in fails (by default the client stops and says "
     "why)."},
};

QString help(const Described& d) {
    const QString text = QString::fromUtf8(d.help);
    return qstrcmp(d.name, NetworkOptions::KeepLines) == 0
               ? text.arg(NetworkOptions::MinKeepLines).arg(NetworkOptions::DefaultNetworkKeepLines)
               : text;
}

} // namespace

QList<QCommandLineOption> NetworkOptions::commandLineOptions() {
    QList<QCommandLineOption> out;
    for (const Described& d : kOptions) {
        const QString name = QLatin1String(d.name);
        out << (d.valueName ? QCommandLineOption(name, help(d), QLatin1String(d.valueName))
                            : QCommandLineOption(name, help(d)));
    }
    return out;
}

QStringList NetworkOptions::names() {
    QStringList out;
    for (const Described& d : kOptions)
        out << QLatin1String(d.name);
    return out;
}

QStringList NetworkOptions::networkOnlyNames() {
    QStringList out;
    for (const Described& d : kOptions)
        if (d.networkOnly)
            out << QLatin1String(d.name);
    return out;
}

bool NetworkOptions::parseSwitch(const QString& text, bool* on) {
    const QString v = text.trimmed().toLower();
    for (const bool value : {true, false}) {
        const QStringList words = value ? QStringList{QStringLiteral("1"), QStringLiteral("yes"),
                                                      QStringLiteral("true"), QStringLiteral("on")}
                                        : QStringList{QStringLiteral("0"), QStringLiteral("no"),
                                                      QStringLiteral("false"), QStringLiteral("off")};
        if (words.contains(v)) {
            *on = value;
            return true;
        }
    }
    return false;
}

NetworkOptions NetworkOptions::fromParser(const QCommandLineParser& parser) {
    NetworkOptions out;
    for (const Described& d : kOptions) {
        const QString name = QLatin1String(d.name);
        if (parser.isSet(name))
            out.set(name, d.valueName ? parser.value(name) : QStringLiteral("1"));
    }
    return out;
}

bool NetworkOptions::fromSettings(const QSettings& settings, NetworkOptions* options, QString* error) {
    for (const Described& d : kOptions) {
        const QString name = QLatin1String(d.name);
        if (!settings.contains(name))
            continue;
        const QString value = settings.value(name).toString();
        bool on = false;
        if (d.valueName) {
            options->set(name, value);
        } else if (parseSwitch(value, &on)) {
            options->set(name, on ? QStringLiteral("1") : QStringLiteral("0"));
        } else {
            *error = QStringLiteral("%1 is yes or no, not \"%2\"").arg(name, value);
            return false;
        }
    }
    return true;
}

void NetworkOptions::override(const NetworkOptions& over) {
    for (auto it = over.values_.begin(); it != over.values_.end(); ++it)
        values_.insert(it.key(), it.value());
}

bool NetworkOptions::needsUrl() const {
    for (const Described& d : kOptions) {
        const QString name = QLatin1String(d.name);
        if (d.networkOnly && isSet(name) && (d.valueName || isOn(name)))
            return true;
    }
    return false;
}

QStringList NetworkOptions::arguments() const {
    QStringList out;
    for (const Described& d : kOptions) {
        const QString name = QLatin1String(d.name);
        if (!isSet(name))
            continue;
        if (!d.valueName) {
            if (isOn(name))
                out << QStringLiteral("--") + name;
            continue;
        }
        out << QStringLiteral("--") + name << value(name);
    }
    return out;
}

bool NetworkOptions::secret(const QString& fileOption, const char* variable, const QString& what,
                            QByteArray* out, QString* error) const {
    if (!isSet(fileOption)) {
        *out = qgetenv(variable);
        return true;
    }
    QFile file(value(fileOption));
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot read the %1 file %2: %3").arg(what, file.fileName(), file.errorString());
        return false;
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    *out = line;
    return true;
}

} // namespace palvuro
