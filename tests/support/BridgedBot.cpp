#include "tests/support/BridgedBot.h"

#include "tests/support/PidginSession.h"
#include "tests/support/WaitUntil.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace palvuro {

namespace {

QString bridgePath() {
    return QString::fromLocal8Bit(qgetenv("PALVURO_BIN_DIR")) + QStringLiteral("/palvuro-bridge");
}

} // namespace

BridgedBot::BridgedBot(const PidginSession& pidgin, const QString& conversation)
    : pidgin_(pidgin), conversation_(conversation) {
    bot_.setHeadless();
}

BridgedBot::~BridgedBot() {
    bridge_.terminate();
    if (!bridge_.waitForFinished(5000))
        bridge_.kill();
}

QString BridgedBot::cannotRun() {
    for (const QString& why : {E2eSession::cannotRun(false), PidginSession::cannotRun()})
        if (!why.isEmpty())
            return why;
    if (!QFileInfo(bridgePath()).isExecutable())
        return QStringLiteral("palvuro-bridge is not built in PALVURO_BIN_DIR");
    return {};
}

bool BridgedBot::fail(const QString& why) {
    error_ = why;
    return false;
}

bool BridgedBot::start(int answerSecs, int pauseSecs) {
    bot_.setTimings(answerSecs, pauseSecs);
    if (!bot_.prepare())
        return fail(bot_.error());
    QProcessEnvironment env = pidgin_.environment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), bot_.runtimeDir()); // the desktop bus the bot looks on
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    bridge_.setProcessEnvironment(env);
    bridge_.start(bridgePath(), {QStringLiteral("--conversation"), conversation_});
    if (!bridge_.waitForStarted(10000))
        return fail(QStringLiteral("palvuro-bridge did not start"));
    if (!waitForLog(followingStatus()))
        return fail(QStringLiteral("the bridge did not find the conversation: ") + QString::fromUtf8(log()));
    if (!bot_.startBot())
        return fail(bot_.error());
    const bool connected = waitUntil(
        [&] { return bot_.botLog().contains(QStringLiteral("connected to the chat client as \"TRIVIA\"")); },
        30000, 100);
    return connected || fail(QStringLiteral("the bot did not connect: ") + bot_.botLog());
}

bool BridgedBot::waitForLog(const QString& pattern, int timeoutMs, qsizetype from) {
    const QRegularExpression shown(pattern);
    return waitUntil([&] { return shown.match(QString::fromUtf8(log().mid(from))).hasMatch(); }, timeoutMs,
                     50);
}

QByteArray BridgedBot::log() {
    log_ += bridge_.readAllStandardError();
    return log_;
}

QString BridgedBot::followingStatus() const {
    return QRegularExpression::escape(QStringLiteral("status: Following ") + conversation_ +
                                      QStringLiteral(" in Pidgin"));
}

} // namespace palvuro
