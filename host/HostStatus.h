#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace palvuro {

// What a host tells about its channel: kept by the running host, written to
// FOLDER/host-status.json at each change, read back by `palvuro-host --status`.
struct HostStatus {
    static constexpr const char* FileName = "host-status.json";

    QString state = QStringLiteral("starting"); // the client's: connecting, joined, reconnecting, ...
    QString network;                            // HOST:PORT
    QString channel;
    QString nick;    // as the channel knows the client now
    QDateTime since; // when state last changed
    bool botConnected = false;
    bool gameRunning = false;
    QString category;
    QString startedBy;
    int questionsAsked = 0; // since the host started
    int restarts = 0;
    QString lastError;
    qint64 pid = 0; // the host's
    qint64 clientPid = 0;
    qint64 botPid = 0;

    // Joined and the bot attached: the channel is served.
    bool healthy() const { return state == QLatin1String("joined") && botConnected; }

    QJsonObject toJson() const;
    static HostStatus fromJson(const QJsonObject& json);

    // Replaces FOLDER's status file in one step: a reader never sees half of it.
    bool save(const QString& folder, QString* error) const;
    // False with *error when there is no status or it cannot be read.
    static bool load(const QString& folder, HostStatus* status, QString* error);
    // Some lines for a person.
    QString describe() const;
};

} // namespace palvuro
