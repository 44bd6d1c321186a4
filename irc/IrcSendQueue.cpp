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

IrcSendQueue::Pushed IrcSendQueue::push(const QByteArray& target, const QList<QByteArray>& lines,
                                        bool first) {
    if (lines.isEmpty())
        return Pushed::Queued;
    if (first) {
        first_.push_back({target, lines});
        return Pushed::Queued;
    }
    const QByteArray who = key(target);
    const bool waiting = std::any_of(private_.cbegin(), private_.cend(), [&](const Text& text) {
        return text.sent == 0 && text.lines == lines && key(text.target) == who;
    });
    if (waiting)
        return Pushed::AlreadyWaiting;
    // One text longer than the bound still goes when nothing else waits.
    if (privateLines_ > 0 && privateLines_ + lines.size() > MaxPrivateLines)
        return Pushed::Full;
    private_.push_back({target, lines});
    privateLines_ += lines.size();
    return Pushed::Queued;
}

// The first text of the private target whose last turn lies furthest back.
std::deque<IrcSendQueue::Text>::iterator IrcSendQueue::nextPrivateTurn() {
    QSet<QByteArray> seen;
    auto best = private_.end();
    quint64 bestTurn = 0;
    for (auto it = private_.begin(); it != private_.end(); ++it) {
        const QByteArray target = key(it->target);
        if (seen.contains(target))
            continue;
        seen.insert(target);
        const quint64 turn = lastTurn_.value(target, 0);
        if (best == private_.end() || turn < bestTurn) {
            best = it;
            bestTurn = turn;
        }
    }
    return best;
}

QByteArray IrcSendQueue::takeLine() {
    const bool channel = !first_.empty();
    const auto text = channel ? first_.begin() : nextPrivateTurn();
    const QByteArray line = text->lines.at(text->sent++);
    if (!channel) {
        lastTurn_[key(text->target)] = ++turns_;
        --privateLines_;
    }
    if (text->sent == text->lines.size())
        (channel ? first_ : private_).erase(text);
    if (private_.empty())
        lastTurn_.clear();
    return line;
}

QList<QByteArray> IrcSendQueue::take(qint64 nowMs) {
    QList<QByteArray> out;
    while (!isEmpty() && msUntilNext(nowMs) == 0) {
        spend(nowMs);
        out.append(takeLine());
    }
    return out;
}

void IrcSendQueue::spend(qint64 nowMs) {
    theoretical_ = (spent_ ? std::max(theoretical_, nowMs) : nowMs) + pacing_.intervalMs;
    spent_ = true;
}

qint64 IrcSendQueue::msUntilNext(qint64 nowMs) const {
    if (isEmpty())
        return -1;
    if (!spent_)
        return 0;
    // Held back from private lines: otherwise a game line said while a crowd's lists keep the
    // allowance empty waits up to an interval for its turn, and the server may hold it as long.
    const int reserved = first_.empty() && pacing_.burst > 1 ? 1 : 0;
    const qint64 readyAt = theoretical_ - qint64(pacing_.burst - 1 - reserved) * pacing_.intervalMs;
    return std::max<qint64>(readyAt - nowMs, 0);
}

qsizetype IrcSendQueue::size() const {
    qsizetype channelLines = 0;
    for (const Text& text : first_)
        channelLines += text.lines.size() - text.sent;
    return channelLines + privateLines_;
}

void IrcSendQueue::drain(std::deque<Text>& texts, const QByteArray& target, QList<Line>& out) {
    for (auto it = texts.begin(); it != texts.end();) {
        if (!target.isNull() && key(it->target) != key(target)) {
            ++it;
            continue;
        }
        for (qsizetype i = it->sent; i < it->lines.size(); ++i)
            out.append({it->target, it->lines.at(i)});
        it = texts.erase(it);
    }
}

QList<IrcSendQueue::Line> IrcSendQueue::takeFor(const QByteArray& target) {
    QList<Line> dropped;
    drain(first_, target, dropped);
    drain(private_, target, dropped);
    privateLines_ = 0;
    for (const Text& text : private_)
        privateLines_ += text.lines.size() - text.sent;
    if (private_.empty())
        lastTurn_.clear();
    return dropped;
}

QList<IrcSendQueue::Line> IrcSendQueue::clear() {
    return takeFor(QByteArray());
}

} // namespace palvuro
