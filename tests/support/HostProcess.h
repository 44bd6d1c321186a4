#pragma once

#include "host/HostStatus.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace palvuro {

// One palvuro-host run for a test or a benchmark, with no display at all: its data folder
// (as E2eSession::fillDataFolder() leaves it), the channel and nick it hosts, its
// standard error kept. Every host of one process shares a runtime folder, as hosts of one
// user do; each keeps its own desktop bus inside it.
class HostProcess {
public:
    static const QHash<QString, QString>& answers(); // HISTORY's questions and answers

    HostProcess(quint16 port, const QString& channel, const QString& nick);
    ~HostProcess();

    // Everything but the folder comes from configFile(), written by config() unless the test
    // wrote its own; the command line's own options are the host's unit suite's.
    bool start(const QStringList& extraArguments = {});
    // The hosting as a config file says it, under NICK with ANSWERTIME seconds to answer.
    QByteArray config(const QString& nick, int answerTime = 8) const;
    QString configFile() const { return dir_.filePath(QStringLiteral("host.conf")); }
    // Waits until the client is joined and the bot connected, after at least MINRESTARTS
    // restarts of either.
    bool waitHealthy(int timeoutMs = 30000, int minRestarts = 0) const;
    HostStatus status() const;
    QString folder() const { return dir_.filePath(QStringLiteral("data")); }
    QProcess& process() { return process_; }
    QByteArray log(); // everything it wrote to standard error so far
    QString error() const { return error_; }

private:
    QString url() const;

    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_;
    QString channel_, nick_, error_;
    QByteArray log_;
};

} // namespace palvuro
