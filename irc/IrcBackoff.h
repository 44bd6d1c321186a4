#pragma once

namespace palvuro {

// How long to wait before the next connection attempt: doubling with each failure in a row,
// from a first wait up to a ceiling that depends on why the last attempt failed. A server
// that said no (ERROR, 465, 466) or banned us must not see us back soon: networks ban clients
// that hammer them.
class IrcBackoff {
public:
    enum class Cause {
        Lost,        // the connection dropped, or the server stopped answering
        Unreachable, // connection refused, host unreachable: the server may be restarting
        Refused,     // the server ended the connection with a reason
        Banned,      // the server bans us
    };
    struct Wait {
        int firstMs;
        int maxMs;
    };
    struct Limits {
        Wait lost{1000, 60'000};
        Wait unreachable{1000, 5 * 60'000};
        Wait refused{60'000, 10 * 60'000};
        Wait banned{60'000, 30 * 60'000};
    };

    explicit IrcBackoff(Limits limits);

    int nextDelayMs(Cause cause);
    void reset() { failures_ = 0; }
    int failures() const { return failures_; }

private:
    const Wait& waitFor(Cause cause) const;

    Limits limits_;
    int failures_ = 0;
};

} // namespace palvuro
