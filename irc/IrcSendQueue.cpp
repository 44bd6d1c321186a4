#include "irc/IrcSendQueue.h"

#include <QSet>

#include <algorithm>

namespace palvuro {
namespace {

QByteArray key(const QByteArray& target) {
    return target.toLower();
}

} // namespace

IrcSendQueue::IrcSendQueue(Pacing pacing) : pacing_(pacing) {
    pacing_.burst = std::max(pacing_.burst, 1);
    pacing_.intervalMs = std::max(pacing_.intervalMs, 0);
}

void IrcSendQueue::push(const QByteArray& target, const QByteArray& bytes, qint64 nowMs) {
    pending_.push_back({target, bytes, nowMs});
}

// The oldest line of the target whose last turn lies furthest back.
std::deque<IrcSendQueue::Line>::iterator IrcSendQueue::nextTurn() {
    QSet<QByteArray> seen;
    auto best = pending_.end();
    quint64 bestTurn = 0;
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        const QByteArray target = key(it->target);
        if (seen.contains(target))
            continue;
        seen.insert(target);
        const quint64 turn = lastTurn_.value(target, 0);
        if (best == pending_.end() || turn < bestTurn) {
            best = it;
            bestTurn = turn;
        }
    }
    return best;
}

QList<QByteArray> IrcSendQueue::take(qint64 nowMs) {
    QList<QByteArray> out;
    while (!pending_.empty() && msUntilNext(nowMs) == 0) {
        const auto turn = nextTurn();
        lastTurn_[key(turn->target)] = ++turns_;
        spend(nowMs);
        out.append(turn->bytes);
        pending_.erase(turn);
    }
    if (pending_.empty())
        lastTurn_.clear();
    return out;
}

void IrcSendQueue::spend(qint64 nowMs) {
    theoretical_ = (spent_ ? std::max(theoretical_, nowMs) : nowMs) + pacing_.intervalMs;
    spent_ = true;
}

qint64 IrcSendQueue::msUntilNext(qint64 nowMs) const {
    if (pending_.empty())
        return -1;
    if (!spent_)
        return 0;
    const qint64 readyAt = theoretical_ - qint64(pacing_.burst - 1) * pacing_.intervalMs;
    return std::max<qint64>(readyAt - nowMs, 0);
}

QList<IrcSendQueue::Line> IrcSendQueue::takeStale(qint64 nowMs, qint64 maxAgeMs) {
    QList<Line> stale;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (nowMs - it->queuedAtMs <= maxAgeMs) {
            ++it;
            continue;
        }
        stale.append(*it);
        it = pending_.erase(it);
    }
    return stale;
}

QList<IrcSendQueue::Line> IrcSendQueue::clear() {
    QList<Line> dropped(pending_.begin(), pending_.end());
    pending_.clear();
    lastTurn_.clear();
    return dropped;
}

} // namespace palvuro
