#pragma once

#include "data/DbConnection.h"
#include "data/ServerAddress.h"
#include "data/StatementWatchdog.h"

#include <QElapsedTimer>

namespace palvuro {

// A connection to a PostgreSQL database through Qt's QPSQL driver, shared by every bot of a
// league. Nothing it does may freeze the bot's loop for long: connecting and each statement
// have a time limit of a few seconds, a lost connection is dropped and made again by the next
// operation, and after a failed attempt the next one waits a little, so that an unreachable
// server costs one time limit now and then rather than one per correct answer.
class ServerConnection : public DbConnection {
public:
    explicit ServerConnection(ServerAddress address);
    ~ServerConnection() override;

    static constexpr int ConnectTimeoutSeconds = 2;
    static constexpr int StatementTimeoutMs = 2500;
    static constexpr int RetryWaitMs = 3000;
    // The client's own limit on a call: the server's statement limit, and a little for the
    // answer to arrive.
    static constexpr int CallLimitMs = StatementTimeoutMs + 250;

    QString location() const override;
    // How long a statement waits for another connection's lock (3000 ms unless set).
    void setBusyTimeout(int milliseconds) override;

protected:
    DbStatus connect() override;
    void callStarts() override;
    void callEnds() override;
    QString message(DbStatus status) const override;
    QString diskFullMessage() const override;

private:
    DbStatus prepareConnection();
    DbStatus ensureScoresTable();

    ServerAddress address_;
    int lockTimeoutMs_ = 3000;
    StatementWatchdog watchdog_{std::chrono::milliseconds(CallLimitMs)};
    QElapsedTimer lastFailure_;
    QString lastFailureText_;
};

} // namespace palvuro
