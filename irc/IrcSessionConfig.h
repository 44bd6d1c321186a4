#pragma once

#include "irc/IrcBackoff.h"
#include "irc/IrcSendQueue.h"

#include <QByteArray>
#include <QString>

namespace palvuro {

// Where and as whom the client takes part in one channel.
struct IrcSessionConfig {
    QString host;
    quint16 port = 6667;
    bool tls = false;
    QString channel; // with its leading '#'
    QString nick;
    QString account;     // SASL PLAIN account; empty: no SASL
    QByteArray password; // never logged, never shown
    QString extraCaFile; // one more CA trusted besides the system's store

    // Timing: the defaults suit public networks; tests shorten them.
    int pingIdleMs = 5000;         // our own PING after this long without a line from the server
    int pingTimeoutMs = 5000;      // then, without any answer, the connection is given up
    int registerTimeoutMs = 30000; // from the connection attempt to the server's welcome
    int nickRetryMs = 10000;       // how often a taken nick is asked for again
    int rejoinDelayMs = 3000;      // after a kick or a refused JOIN
    IrcSendQueue::Pacing pacing;
    IrcBackoff::Limits backoff;
};

} // namespace palvuro
