#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

namespace palvuro {

// Hands paragraphs on at most one per interval, in the order they came: the first of a quiet
// spell at once, the others through a short queue. The bot reads the room's text window every
// few milliseconds and joins what appeared since its last look into one text, in which only
// the first line's command or answer counts; spacing the lines gives each a look of its own.
// A flood must not make the room lag ever further behind the channel: past a bound the oldest
// waiting paragraphs are dropped.
class LinePacer : public QObject {
    Q_OBJECT
public:
    using Deliver = std::function<void(const QString&)>;
    // Five seconds of lines at the room's pace.
    static constexpr int MaxWaiting = 200;

    LinePacer(int intervalMs, Deliver deliver, QObject* parent = nullptr);

    void push(const QString& paragraph);
    int queued() const { return static_cast<int>(queue_.size()); }

private:
    void deliverNext();
    void deliver(const QString& paragraph);

    const int intervalMs_;
    Deliver deliver_;
    std::deque<QString> queue_;
    QTimer timer_;
    QElapsedTimer sinceLast_;
    int dropped_ = 0; // since the queue was last empty
};

} // namespace palvuro
