#pragma once

#include <QList>

namespace palvuro {

// When to ask for our channel again after the server said no or someone showed us out. A JOIN
// every few seconds into a ban is the pattern networks ban bots for, so a refusal that time
// can mend (the channel is full, joins are throttled) is retried with a doubling wait, one that
// only a person can mend (a ban, an invitation, a key, an account, TLS) waits for a sign of
// that change (an invitation, the ban lifted, a new connection) or half an hour, and repeated
// kicks make us stay away longer. Time is passed in, so the rules run on any clock.
class IrcJoinPolicy {
public:
    struct Limits {
        int kickRejoinMs = 3000;        // after a kick, once
        int firstRetryMs = 30000;       // after a refusal that time can mend, doubling ...
        int maxRetryMs = 30 * 60000;    // ... up to this
        int lastingWaitMs = 30 * 60000; // after a refusal only a person can mend
        int kickWindowMs = 10 * 60000;  // so many kicks within this ...
        int kicksBeforePause = 3;
        int kickPauseMs = 30 * 60000; // ... keep us out this long
    };
    enum class Refusal { Temporary, Lasting };

    explicit IrcJoinPolicy(Limits limits);

    // How a reply with NUMERIC to our JOIN is to be taken.
    static Refusal classify(int numeric);

    // Each returns how long to wait before the next JOIN.
    int refused(int numeric);
    int kicked(qint64 nowMs);
    // Whether a lasting refusal is waiting for a change: an invitation or a lifted ban ends it.
    bool waitingForChange() const { return lasting_; }
    // In the channel, or on a new connection: refusals are forgotten; kicks are remembered.
    void entered();

private:
    Limits limits_;
    int temporaryRefusals_ = 0;
    bool lasting_ = false;
    QList<qint64> kicks_;
};

} // namespace palvuro
