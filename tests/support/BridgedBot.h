#pragma once

#include "tests/support/E2eSession.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace palvuro {

class PidginSession;

// The real bot hosting in a conversation of a running Pidgin: palvuro-bridge following that
// conversation and offering its room on the bot's desktop bus, and the bot, with no display,
// connected to the room by itself. What the bridge writes to standard error is kept.
class BridgedBot {
public:
    BridgedBot(const PidginSession& pidgin, const QString& conversation);
    ~BridgedBot();
    BridgedBot(const BridgedBot&) = delete;
    BridgedBot& operator=(const BridgedBot&) = delete;

    // Empty when the bot, the bridge and Pidgin can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // The bot's data folder with ANSWERSECS to answer and PAUSESECS between questions, the
    // bridge following the conversation, then the bot connected to it.
    bool start(int answerSecs, int pauseSecs);
    // Until the bridge has written a match of the regular expression PATTERN after the first FROM
    // bytes of its log.
    bool waitForLog(const QString& pattern, int timeoutMs = 30000, qsizetype from = 0);
    QByteArray log();
    QProcess& bridge() { return bridge_; }
    E2eSession& bot() { return bot_; }
    // The bridge's status line once it follows the conversation, as a pattern.
    QString followingStatus() const;
    QString error() const { return error_; }

private:
    bool fail(const QString& why);

    const PidginSession& pidgin_;
    QString conversation_, error_;
    E2eSession bot_;
    QProcess bridge_;
    QByteArray log_;
};

} // namespace palvuro
