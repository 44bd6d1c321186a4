#pragma once

namespace palvuro {

// How long to wait before the next connection attempt: doubling with each failure in a row,
// up to a ceiling. A refused connection costs the server nothing and usually means it is
// restarting, so its waits stay short and the channel is back within seconds of the server
// listening again.
class IrcBackoff {
public:
    struct Limits {
        int firstMs = 1000;
        int maxMs = 60000;
        int refusedMaxMs = 3000;
    };

    explicit IrcBackoff(Limits limits);

    int nextDelayMs(bool refused);
    void reset() { failures_ = 0; }
    int failures() const { return failures_; }

private:
    Limits limits_;
    int failures_ = 0;
};

} // namespace palvuro
