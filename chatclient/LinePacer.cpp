#include "chatclient/LinePacer.h"

#include "chatclient/ChatClientLog.h"

#include <algorithm>

namespace palvuro {

LinePacer::LinePacer(int intervalMs, Deliver deliver, QObject* parent)
    : QObject(parent), intervalMs_(intervalMs), deliver_(std::move(deliver)) {
    // A coarse timer may fire a few percent early, which would put two lines in one look.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &LinePacer::deliverNext);
}

void LinePacer::push(const QString& paragraph, Kind kind) {
    const bool quiet = !sinceLast_.isValid() || sinceLast_.elapsed() >= intervalMs_;
    if (queue_.empty() && quiet) {
        deliver(paragraph);
        return;
    }
    if (kind == Kind::Chat) {
        if (chatWaiting_ >= MaxWaiting)
            dropOldestChatLine();
        ++chatWaiting_;
    }
    queue_.push_back({paragraph, kind});
    if (!timer_.isActive())
        timer_.start(static_cast<int>(std::max<qint64>(0, intervalMs_ - sinceLast_.elapsed())));
}

void LinePacer::dropOldestChatLine() {
    if (dropped_++ == 0)
        qCWarning(lcChatClient) << "the channel says more than the room can show: dropping the oldest lines";
    const auto oldest =
        std::find_if(queue_.begin(), queue_.end(), [](const Waiting& w) { return w.kind == Kind::Chat; });
    queue_.erase(oldest);
    --chatWaiting_;
}

void LinePacer::deliverNext() {
    if (queue_.empty())
        return;
    const Waiting next = std::move(queue_.front());
    queue_.pop_front();
    if (next.kind == Kind::Chat)
        --chatWaiting_;
    deliver(next.paragraph);
    if (!queue_.empty()) {
        timer_.start(intervalMs_);
    } else if (dropped_ > 0) {
        qCWarning(lcChatClient) << "caught up with the channel;" << dropped_ << "lines were dropped";
        dropped_ = 0;
    }
}

void LinePacer::deliver(const QString& paragraph) {
    sinceLast_.start();
    deliver_(paragraph);
}

} // namespace palvuro
