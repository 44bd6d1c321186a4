#include "host/StatusTracker.h"

#include <QRegularExpression>

namespace palvuro {

namespace {

const QLatin1String kClientStatus("palvuro-chat: status: ");
const QLatin1String kClientFailure("palvuro-chat: failure: ");

QRegularExpressionMatch match(const char* pattern, const QString& text) {
    return QRegularExpression(QLatin1String(pattern)).match(text);
}

} // namespace

QString StatusTracker::setState(const QString& state, const QString& log) {
    if (state != status_.state) {
        status_.state = state;
        status_.since = QDateTime::currentDateTimeUtc();
    }
    return log;
}

QString StatusTracker::clientLine(const QString& line) {
    if (line.startsWith(kClientFailure)) {
        status_.lastError = line.mid(kClientFailure.size());
        return QStringLiteral("client: ") + status_.lastError;
    }
    if (!line.startsWith(kClientStatus))
        return {};
    const QString text = line.mid(kClientStatus.size());
    if (auto m = match("^Connecting to (\\S+)$", text); m.hasMatch()) {
        status_.network = m.captured(1);
        return setState(QStringLiteral("connecting"), QStringLiteral("connecting to ") + status_.network);
    }
    if (auto m = match("^Logging in to (\\S+)$", text); m.hasMatch())
        return setState(QStringLiteral("logging in"), QStringLiteral("logging in to ") + m.captured(1));
    if (auto m = match("^Joined (\\S+) as (\\S+)$", text); m.hasMatch()) {
        status_.channel = m.captured(1);
        status_.nick = m.captured(2);
        return setState(QStringLiteral("joined"),
                        QStringLiteral("joined %1 as %2").arg(m.captured(1), m.captured(2)));
    }
    if (auto m = match("^Reconnecting in (\\d+) s$", text); m.hasMatch())
        return setState(QStringLiteral("reconnecting"),
                        QStringLiteral("reconnecting in %1 s%2")
                            .arg(m.captured(1), status_.lastError.isEmpty()
                                                    ? QString()
                                                    : QStringLiteral(": ") + status_.lastError));
    if (auto m = match("^Nick (\\S+) in use, (\\S+) until it is free$", text); m.hasMatch()) {
        status_.lastError = QStringLiteral("nick %1 in use").arg(m.captured(1));
        status_.nick = m.captured(2);
        return setState(QStringLiteral("nick in use"),
                        QStringLiteral("nick %1 in use, playing as %2").arg(m.captured(1), m.captured(2)));
    }
    return setState(text.toLower(), QStringLiteral("client: ") + text);
}

QString StatusTracker::botLine(const QString& line) {
    // The bot's info lines in its chat category; names may come quoted.
    if (!line.startsWith(QLatin1String("palvuro.chat: ")))
        return {};
    if (match("disconnected from the chat client", line).hasMatch()) {
        status_.botConnected = false;
        return QStringLiteral("bot lost the client");
    }
    if (match("connected to the chat client", line).hasMatch()) {
        status_.botConnected = true;
        return QStringLiteral("bot connected to the client");
    }
    if (auto m = match("game started by \"?(.*?)\"? in \"?(.*?)\"?$", line); m.hasMatch()) {
        status_.gameRunning = true;
        status_.startedBy = m.captured(1);
        status_.category = m.captured(2);
        return QStringLiteral("game started by %1, category %2").arg(status_.startedBy, status_.category);
    }
    if (match("game ended", line).hasMatch()) {
        status_.gameRunning = false;
        return QStringLiteral("game ended");
    }
    if (match("question asked", line).hasMatch()) {
        // Counted in the status file, not logged: a busy channel would fill the journal.
        ++status_.questionsAsked;
        return {};
    }
    return {};
}

QString StatusTracker::clientGone(const QString& reason) {
    status_.lastError = QStringLiteral("palvuro-chat ") + reason;
    return setState(QStringLiteral("restarting"), status_.lastError);
}

QString StatusTracker::botGone(const QString& reason) {
    status_.botConnected = false;
    status_.gameRunning = false;
    status_.lastError = QStringLiteral("palvuro-trivia ") + reason;
    return status_.lastError;
}

} // namespace palvuro
