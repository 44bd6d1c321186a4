#include "data/StatementWatchdog.h"

#include "data/DataLog.h"

#include <sys/socket.h>

namespace palvuro {

StatementWatchdog::StatementWatchdog(std::chrono::milliseconds limit) : limit_(limit) {}

StatementWatchdog::~StatementWatchdog() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void StatementWatchdog::arm(int socket) {
    if (socket < 0)
        return;
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        socket_ = socket;
        fired_ = false;
        deadline_ = std::chrono::steady_clock::now() + limit_;
        wake = idle_;
    }
    // Started with the first call: most connections of a command make a few calls and go. A
    // watchdog still waiting for an earlier call's deadline finds the new one when it wakes, so
    // a busy connection wakes it once per limit rather than once per call.
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
    else if (wake)
        changed_.notify_one();
}

bool StatementWatchdog::disarm() {
    const std::lock_guard<std::mutex> lock(mutex_);
    socket_ = -1;
    return fired_;
}

// The socket is shut down, never closed: the driver still owns the descriptor, and a shut
// socket makes its wait end with an error instead of lasting.
void StatementWatchdog::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (socket_ < 0) {
            idle_ = true;
            changed_.wait(lock);
            idle_ = false;
            continue;
        }
        if (changed_.wait_until(lock, deadline_) != std::cv_status::timeout || socket_ < 0 ||
            std::chrono::steady_clock::now() < deadline_)
            continue;
        qCWarning(lcData) << "the database server did not answer within" << limit_.count()
                          << "ms: the connection is dropped";
        ::shutdown(socket_, SHUT_RDWR);
        socket_ = -1;
        fired_ = true;
    }
}

} // namespace palvuro
