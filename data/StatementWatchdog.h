#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace palvuro {

// A clock beside each call that waits for a database server. A call that runs past its limit
// has its connection's socket shut down from the watchdog's own thread, and returns at once
// with a lost connection. The server's own statement limit cannot end a wait on a server
// process that stopped while its machine still acknowledges every packet (keepalives are
// answered too); this can.
class StatementWatchdog {
public:
    explicit StatementWatchdog(std::chrono::milliseconds limit);
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog&) = delete;
    StatementWatchdog& operator=(const StatementWatchdog&) = delete;

    // A call on `socket` starts; a negative socket (no connection) is not watched.
    void arm(int socket);
    // The call returned; true when the watchdog ended it.
    bool disarm();

private:
    void run();

    const std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    std::chrono::steady_clock::time_point deadline_;
    int socket_ = -1;
    bool stopping_ = false;
    bool idle_ = false; // waiting for a call, with no deadline
    bool fired_ = false;
};

} // namespace palvuro
