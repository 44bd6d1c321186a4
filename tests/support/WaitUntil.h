#pragma once

#include <QDeadlineTimer>
#include <QTest>

#include <functional>
#include <optional>

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

// The first of the items ITEMS() gives, from index FROM on, that MATCH takes (its index in *INDEX
// when asked), waiting as waitUntil() does while more come; items are only ever added.
template <class Item, class Items, class Match>
std::optional<Item> waitForItem(const Items& items, int from, const Match& match, int* index, int timeoutMs,
                                int stepMs) {
    std::optional<Item> found;
    waitUntil(
        [&] {
            const auto all = items();
            for (; from < all.size() && !found; ++from)
                if (match(all.at(from))) {
                    found = all.at(from);
                    if (index)
                        *index = from;
                }
            return found.has_value();
        },
        timeoutMs, stepMs);
    return found;
}

} // namespace palvuro
