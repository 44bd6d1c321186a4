#pragma once

#include "irc/IrcBackoff.h"
#include "irc/IrcClock.h"
#include "irc/IrcJoinPolicy.h"
#include "irc/IrcSendQueue.h"

#include <QByteArray>
#include <QString>

namespace palvuro {

// Where and as whom the client takes part in one channel.
struct IrcSessionConfig {
    QString host;
    quint16 port = 6667;
    bool tls = false;
    QString channel;       // with its leading '#'
    QByteArray channelKey; // the channel's key (+k), if it has one
    QString nick;
    QString account;                   // SASL PLAIN account (the caller insists on TLS); empty: no PLAIN
    QByteArray password;               // never logged, never shown
    QString clientCertFile;            // PEM certificate and key: SASL EXTERNAL (CertFP)
    bool allowUnauthenticated = false; // a refused login leaves us on as a guest instead of ending
    QString stsPolicyFile;             // where upgrade-to-TLS policies are kept; empty: not kept
    QString extraCaFile;               // one more CA trusted besides the system's store
    QByteArray serverPassword;         // PASS, for bouncers and private servers; never logged, never shown

    // Timing: the defaults suit public networks; tests shorten them.
    // A lagging server is no dead one: public networks lag for a minute now and then.
    int pingIdleMs = 90'000;         // our own PING after this long without a line from the server
    int pingTimeoutMs = 150'000;     // then, without any answer, the connection is given up
    int registerTimeoutMs = 120'000; // from the connection attempt to the server's welcome
    int steadyMs = 10 * 60'000;      // this long in the channel and the reconnect waits start over
    int nickRetryMs = 10000;         // how often a taken nick is asked for again
    IrcJoinPolicy::Limits joinLimits;
    IrcSendQueue::Pacing pacing;
    IrcClock* clock = nullptr; // null: real time; tests pass one they move by hand
    IrcBackoff::Limits backoff;
};

} // namespace palvuro
