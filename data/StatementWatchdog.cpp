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
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        socket_ = socket;
        fired_ = false;
        deadline_ = std::chrono::steady_clock::now() + limit_;
    }
    // Started with the first call: most connections of a command make a few calls and go.
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
    else
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
            changed_.wait(lock);
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
