#pragma once

#include <QDeadlineTimer>
#include <QTest>

#include <functional>

namespace palvuro {

// Runs the event loop in steps of stepMs until done() holds; false when timeoutMs passed first.
// A short step keeps a measured delay honest; a long one spares the machine when each look at
// done() is costly.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(stepMs);
    }
    return true;
}

} // namespace palvuro
