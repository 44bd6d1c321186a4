#include "chatclient/ScriptRunner.h"

#include "chatclient/ChatRoom.h"
#include "chatclient/Transcript.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace palvuro {

namespace {

// Say lines run per turn of the event loop, so that a long script leaves the window and the
// desktop bus responsive.
constexpr int kLinesPerTurn = 256;

QString withoutLineEnd(QString line) {
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

} // namespace

ScriptRunner::ScriptRunner(ChatRoom& room, Transcript* transcript, QObject* parent)
    : QObject(parent), room_(room), transcript_(transcript) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ScriptRunner::onTimeout);
    connect(&room_, &ChatRoom::roomLine, this,
            [this](const QString&, const QString& text) { onDelivered(text); });
    connect(&room_, &ChatRoom::privateMessage, this,
            [this](const QString&, const QString&, const QString& text) { onDelivered(text); });
}

ScriptRunner::~ScriptRunner() = default;

bool ScriptRunner::startFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString& line : text.split(QLatin1Char('\n')))
        addLine(withoutLineEnd(line));
    endOfInput();
    return true;
}

void ScriptRunner::startStdin() {
    stdinNotifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(stdinNotifier_, &QSocketNotifier::activated, this, &ScriptRunner::readStdin);
}

void ScriptRunner::readStdin() {
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n > 0) {
        stdinBuffer_.append(chunk, static_cast<qsizetype>(n));
        // Only whole lines are decoded, so a character split between two reads stays whole.
        qsizetype end;
        while ((end = stdinBuffer_.indexOf('\n')) >= 0) {
            addLine(withoutLineEnd(QString::fromUtf8(stdinBuffer_.left(end))));
            stdinBuffer_.remove(0, end + 1);
        }
        return;
    }
    if (n < 0 && errno == EINTR)
        return;
    stdinNotifier_->setEnabled(false);
    if (!stdinBuffer_.isEmpty())
        addLine(withoutLineEnd(QString::fromUtf8(stdinBuffer_)));
    stdinBuffer_.clear();
    endOfInput();
}

void ScriptRunner::addLine(const QString& line) {
    ++lineNumber_;
    QString error;
    const ScriptLine parsed = ScriptLine::parse(line, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "palvuro-chat: script line %d skipped: %s: %s\n", lineNumber_, qPrintable(error),
                     qPrintable(line));
        return;
    }
    if (parsed.kind == ScriptLine::Kind::None)
        return;
    queue_.push_back(parsed);
    scheduleStep();
}

void ScriptRunner::endOfInput() {
    inputEnded_ = true;
    scheduleStep();
}

bool ScriptRunner::expectFailed() const {
    return failed_;
}

void ScriptRunner::scheduleStep() {
    if (stepQueued_ || waiting_ || stopped_)
        return;
    stepQueued_ = true;
    QMetaObject::invokeMethod(this, &ScriptRunner::step, Qt::QueuedConnection);
}

void ScriptRunner::step() {
    stepQueued_ = false;
    for (int done = 0; !waiting_ && !stopped_ && !queue_.empty(); ++done) {
        if (done == kLinesPerTurn) {
            scheduleStep();
            return;
        }
        const ScriptLine line = queue_.front();
        queue_.pop_front();
        run(line);
    }
    if (!waiting_ && !stopped_ && queue_.empty() && inputEnded_) {
        stopped_ = true;
        Q_EMIT finished();
    }
}

void ScriptRunner::run(const ScriptLine& line) {
    switch (line.kind) {
    case ScriptLine::Kind::Say:
        room_.say(line.nick, line.text);
        break;
    case ScriptLine::Kind::Join:
        room_.join(line.nick);
        break;
    case ScriptLine::Kind::Leave:
        room_.leave(line.nick);
        break;
    case ScriptLine::Kind::Expect:
        expecting_ = true;
        expected_ = line.text;
        [[fallthrough]];
    case ScriptLine::Kind::Wait:
        waiting_ = true;
        timer_.start(line.ms);
        break;
    case ScriptLine::Kind::Quit:
        stopped_ = true;
        Q_EMIT quitRequested();
        break;
    case ScriptLine::Kind::None:
        break;
    }
}

void ScriptRunner::onTimeout() {
    if (expecting_) {
        failed_ = true;
        std::fprintf(stderr, "palvuro-chat: expected text not seen in time: %s\n", qPrintable(expected_));
        if (transcript_)
            transcript_->record(QStringLiteral("expect-failed"), {}, {}, expected_);
    }
    expecting_ = false;
    waiting_ = false;
    scheduleStep();
}

void ScriptRunner::onDelivered(const QString& text) {
    if (!expecting_ || !text.contains(expected_))
        return;
    timer_.stop();
    expecting_ = false;
    waiting_ = false;
    scheduleStep();
}

} // namespace palvuro
