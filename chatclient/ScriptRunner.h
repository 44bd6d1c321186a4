#pragma once

#include "chatclient/ScriptLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>

class QSocketNotifier;

namespace palvuro {

class ChatRoom;
class Transcript;

// Plays a room script (ScriptLine) on the event loop: "wait" and "expect" are timers, never a
// blocking sleep, and a long run of "say" lines gives the event loop a turn every few hundred
// lines. Malformed lines are reported on stderr and skipped. An "expect" that times out is
// recorded as "expect-failed" and the script goes on; expectFailed() then stays true.
class ScriptRunner : public QObject {
    Q_OBJECT
public:
    ScriptRunner(ChatRoom& room, Transcript* transcript, QObject* parent = nullptr);
    ~ScriptRunner() override;

    // The whole file is read at once; false (with *error) when it cannot be read.
    bool startFile(const QString& path, QString* error);
    // Lines are taken from standard input as they arrive; its end is the script's end.
    void startStdin();
    // Feeds one line, or the end of the input (what the two starts do).
    void addLine(const QString& line);
    void endOfInput();

    bool expectFailed() const;

Q_SIGNALS:
    // Every line has run and the input has ended, without "quit".
    void finished();
    void quitRequested();

private:
    void scheduleStep();
    void step();
    void run(const ScriptLine& line);
    void onTimeout();
    void onDelivered(const QString& text);
    void readStdin();

    ChatRoom& room_;
    Transcript* transcript_;
    std::deque<ScriptLine> queue_;
    QTimer timer_;
    QSocketNotifier* stdinNotifier_ = nullptr;
    QByteArray stdinBuffer_;
    QString expected_;
    int lineNumber_ = 0;
    bool waiting_ = false;
    bool expecting_ = false;
    bool stepQueued_ = false;
    bool inputEnded_ = false;
    bool stopped_ = false;
    bool failed_ = false;
};

} // namespace palvuro
