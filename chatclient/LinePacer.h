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
// waiting chat lines are dropped. The client's own lines and its notices (the summaries of who
// came and went, lines not delivered) are never dropped: there are few of them, and the bot
// must see its own lines in the room.
class LinePacer : public QObject {
    Q_OBJECT
public:
    using Deliver = std::function<void(const QString&)>;
    // Five seconds of chat lines at the room's pace.
    static constexpr int MaxWaiting = 200;
    enum class Kind { Chat, Kept };

    LinePacer(int intervalMs, Deliver deliver, QObject* parent = nullptr);

    void push(const QString& paragraph, Kind kind = Kind::Chat);
    int queued() const { return static_cast<int>(queue_.size()); }

private:
    void deliverNext();
    void deliver(const QString& paragraph);
    void dropOldestChatLine();

    struct Waiting {
        QString paragraph;
        Kind kind;
    };
    const int intervalMs_;
    Deliver deliver_;
    std::deque<Waiting> queue_;
    int chatWaiting_ = 0;
    QTimer timer_;
    QElapsedTimer sinceLast_;
    int dropped_ = 0; // since the queue was last empty
};

} // namespace palvuro
