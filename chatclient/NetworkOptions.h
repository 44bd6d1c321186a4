#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class QCommandLineOption;
class QCommandLineParser;
class QSettings;

namespace palvuro {

// The options palvuro-chat takes for the room it shows and the channel it joins, described once
// so that palvuro-host takes the same ones, from its command line or its config file, and
// passes them on unchanged. Values are kept as given; palvuro-chat's own parse judges them.
// Secrets are files or environment variables, never values on a command line.
class NetworkOptions {
public:
    static constexpr const char* Transcript = "transcript";
    static constexpr const char* Wrap = "wrap";
    static constexpr const char* KeepLines = "keep-lines";
    static constexpr const char* Account = "account";
    static constexpr const char* PasswordFile = "password-file";
    static constexpr const char* ServerPasswordFile = "server-password-file";
    static constexpr const char* ChannelKeyFile = "channel-key-file";
    static constexpr const char* TlsCa = "tls-ca";
    static constexpr const char* TlsCert = "tls-cert";
    static constexpr const char* AllowUnauthenticated = "allow-unauthenticated";

    static constexpr int DefaultNetworkKeepLines = 20000;
    static constexpr int MinKeepLines = 100;

    // Every option, in the order the help lists them.
    static QList<QCommandLineOption> commandLineOptions();
    static QStringList names();
    // The options that mean nothing without an irc:// or ircs:// URL.
    static QStringList networkOnlyNames();
    // "yes", "true", "on", "1" and their opposites, as a config file may write a switch.
    static bool parseSwitch(const QString& text, bool* on);

    // Those given on PARSER's command line (which has commandLineOptions()).
    static NetworkOptions fromParser(const QCommandLineParser& parser);
    // Those SETTINGS names in its current group; false with *error for a switch that is neither
    // yes nor no.
    static bool fromSettings(const QSettings& settings, NetworkOptions* options, QString* error);

    bool isSet(const QString& name) const { return values_.contains(name); }
    QString value(const QString& name) const { return values_.value(name); }
    bool isOn(const QString& name) const { return values_.value(name) == QLatin1String("1"); }
    void set(const QString& name, const QString& value) { values_.insert(name, value); }
    // OVER's options replace these.
    void override(const NetworkOptions& over);
    // Whether any option is given that needs a URL.
    bool needsUrl() const;
    // As palvuro-chat's command line.
    QStringList arguments() const;

    // The first line of the file the option FILEOPTION names (without its line break) or, when
    // that option is not given, the environment variable VARIABLE: empty when neither holds
    // one. False with *error when the named file cannot be read; WHAT names the secret there.
    bool secret(const QString& fileOption, const char* variable, const QString& what, QByteArray* out,
                QString* error) const;

    bool operator==(const NetworkOptions& other) const { return values_ == other.values_; }
    bool operator!=(const NetworkOptions& other) const { return values_ != other.values_; }

private:
    QMap<QString, QString> values_; // a switch: "1" or "0"
};

} // namespace palvuro
