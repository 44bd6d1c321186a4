#include "host/HostStatus.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <cerrno>
#include <signal.h>

namespace palvuro {

QJsonObject HostStatus::toJson() const {
    return QJsonObject{{QStringLiteral("state"), state},
                       {QStringLiteral("network"), network},
                       {QStringLiteral("channel"), channel},
                       {QStringLiteral("nick"), nick},
                       {QStringLiteral("since"), since.toUTC().toString(Qt::ISODate)},
                       {QStringLiteral("bot_connected"), botConnected},
                       {QStringLiteral("game_running"), gameRunning},
                       {QStringLiteral("category"), category},
                       {QStringLiteral("started_by"), startedBy},
                       {QStringLiteral("questions_asked"), questionsAsked},
                       {QStringLiteral("restarts"), restarts},
                       {QStringLiteral("last_error"), lastError},
                       {QStringLiteral("pid"), pid},
                       {QStringLiteral("client_pid"), clientPid},
                       {QStringLiteral("bot_pid"), botPid}};
}

HostStatus HostStatus::fromJson(const QJsonObject& json) {
    HostStatus s;
    s.state = json.value(QStringLiteral("state")).toString();
    s.network = json.value(QStringLiteral("network")).toString();
    s.channel = json.value(QStringLiteral("channel")).toString();
    s.nick = json.value(QStringLiteral("nick")).toString();
    s.since = QDateTime::fromString(json.value(QStringLiteral("since")).toString(), Qt::ISODate);
    s.botConnected = json.value(QStringLiteral("bot_connected")).toBool();
    s.gameRunning = json.value(QStringLiteral("game_running")).toBool();
    s.category = json.value(QStringLiteral("category")).toString();
    s.startedBy = json.value(QStringLiteral("started_by")).toString();
    s.questionsAsked = json.value(QStringLiteral("questions_asked")).toInt();
    s.restarts = json.value(QStringLiteral("restarts")).toInt();
    s.lastError = json.value(QStringLiteral("last_error")).toString();
    s.pid = json.value(QStringLiteral("pid")).toInteger();
    s.clientPid = json.value(QStringLiteral("client_pid")).toInteger();
    s.botPid = json.value(QStringLiteral("bot_pid")).toInteger();
    return s;
}

bool HostStatus::save(const QString& folder, QString* error) const {
    QSaveFile file(QDir(folder).filePath(QLatin1String(FileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(toJson()).toJson()) < 0 ||
        !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool HostStatus::load(const QString& folder, HostStatus* status, QString* error) {
    QFile file(QDir(folder).filePath(QLatin1String(FileName)));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no host status in %1: %2").arg(folder, file.errorString());
        return false;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1 is damaged: %2").arg(file.fileName(), parse.errorString());
        return false;
    }
    *status = fromJson(doc.object());
    // A host that was killed cannot say so itself.
    if (status->state != QLatin1String("stopped") && status->pid > 0 &&
        ::kill(static_cast<pid_t>(status->pid), 0) != 0 && errno == ESRCH) {
        status->state = QStringLiteral("not running");
        status->botConnected = false;
        status->gameRunning = false;
    }
    return true;
}

QString HostStatus::describe() const {
    QString out;
    const auto add = [&out](const char* label, const QString& value) {
        out += QLatin1String(label) + QLatin1String(": ") + value + QLatin1Char('\n');
    };
    add("state",
        state + (since.isValid() ? QStringLiteral(" since ") + since.toLocalTime().toString(Qt::ISODate)
                                 : QString()));
    add("network", network);
    add("channel", channel + QStringLiteral(" as ") + nick);
    add("bot", botConnected ? QStringLiteral("connected") : QStringLiteral("not connected"));
    add("game", gameRunning ? QStringLiteral("running, category %1, started by %2").arg(category, startedBy)
                            : QStringLiteral("none"));
    add("questions asked", QString::number(questionsAsked));
    add("restarts", QString::number(restarts));
    if (!lastError.isEmpty())
        add("last error", lastError);
    return out;
}

} // namespace palvuro
