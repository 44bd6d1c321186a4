#pragma once

#include "a11y/AccessibleNode.h"
#include "a11y/TextFollower.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace palvuro {

// Reads what a text widget gets after the reader came, each character once, from where the last
// read ended. The place is kept on the same character through the changes the widget reports:
// a client that drops its oldest lines moves every later one back. Those reports travel apart
// from the answers to our calls, so one may come after a read it concerns; the characters just
// before the place are read along and must be the ones read last time, or the read is thrown
// away until the report is in.
class TextReader : public QObject {
    Q_OBJECT
public:
    // Characters before the place compared on every read.
    static constexpr int TailChars = 40;
    // How often a text that moved is read again while its report is awaited, and for how long.
    static constexpr int MovedRetryMs = 10;
    static constexpr int MovedWaitMs = 1000;

    explicit TextReader(AccessibleNode text, QObject* parent = nullptr);

    // What was added since the last read; false when the widget does not answer.
    bool readNew(QList<TextRun>* runs);

Q_SIGNALS:
    // There may be something new to read.
    void changed();

private:
    bool hasMoved(int count);
    void restartAtEnd(int count);

    AccessibleNode text_;
    TextFollower follower_;
    int offset_ = 0;
    QString tail_; // the characters before offset_, at most TailChars
    QTimer reread_;
    QElapsedTimer movedSince_;
};

} // namespace palvuro
