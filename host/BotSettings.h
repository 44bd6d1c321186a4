#pragma once

#include <QMap>
#include <QProcessEnvironment>
#include <QString>

namespace palvuro {

// The operator's settings of one host's bot, kept in its data folder so that bots of several
// hosts never share them: the bot reads them through XDG_CONFIG_HOME pointed at FOLDER/settings.
class BotSettings {
public:
    explicit BotSettings(const QString& folder);

    QString configHome() const { return configHome_; }
    QString file() const;
    // The first time, a copy of the user's own stored settings (where there are any).
    bool seed(QString* error) const;
    // Writes the host's settings (HostOptions::AnswerTime, ... with their values) over the
    // stored ones; a setting not given is left as stored.
    bool write(const QMap<QString, QString>& settings, QString* error) const;
    // ENV with the bot's settings folder.
    void apply(QProcessEnvironment* env) const;

private:
    QString configHome_;
};

} // namespace palvuro
