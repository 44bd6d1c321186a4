#include "chat/ChatReader.h"

#include "chat/ChatLink.h"
#include "chat/ChatLog.h"
#include "platform/LineBuffer.h"
#include "platform/Windows1252.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace palvuro {

namespace {

std::int32_t toLineIndex(std::int64_t line) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(line, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

} // namespace

ChatReader::ChatReader(const GameSession& session, WindowApi& windows, ChatLink& link)
    : session_(session), windows_(windows), link_(link) {
    link_.setReadingStarted([this](std::int32_t lastReadLine) { startFrom(lastReadLine); });
}

void ChatReader::startFrom(std::int32_t lastReadLine) {
    lastLineIndex_ = lastReadLine;
}

void ChatReader::setCommandHandler(CommandHandler handler) {
    commandHandler_ = std::move(handler);
}

void ChatReader::setAnswerHandler(AnswerHandler handler) {
    answerHandler_ = std::move(handler);
}

QString ChatReader::getNewChatText() {
    const std::int32_t count = link_.lineCount();
    if (count < 1)
        return {}; // a rich edit never has fewer than one line: the message failed
    const std::int64_t newest = std::int64_t{count} - 2;
    const std::int32_t lastAtStart = lastLineIndex_;
    std::int64_t last = lastAtStart;
    if (newest == last) {
        failedReads_ = 0;
        return {};
    }
    if (newest < last)
        last = newest - 1; // the text shrank: only the newest line counts as new

    // The count is asked again at every step, but lines appended while the walk runs are left
    // to the next tick: counted in, they would shift the walk onto lines it has already read
    // and push the oldest new one out. Only a window that shrank moves the walk.
    const std::int32_t countAtStart = count;
    QStringList newestFirst;
    qsizetype length = 0;
    for (std::int64_t k = 0;; ++k) {
        std::int64_t line = newest;
        if (k > 0) {
            const std::int32_t now = link_.lineCount();
            if (now < 1)
                return failedRead(lastAtStart, newest);
            line = std::int64_t{std::min(now, countAtStart)} - (k + 2);
            if (line == last) {
                last = newest;
                break;
            }
            if (line < last) {
                last = line - 1;
                break;
            }
        }
        if (line < 0 || length > MaxTextLength) {
            // Read enough: the rest is either not there or would only make an overlong text
            // longer, and such a text is passed over anyway.
            last = newest;
            break;
        }
        QString text;
        const LineRead result = readLine(line, &text);
        if (result == LineRead::Failed)
            return failedRead(lastAtStart, newest);
        // An empty line counts as read and the walk goes on past it, so a blank line in the
        // window can never hold the reader at one place.
        if (result == LineRead::Text) {
            length += text.size();
            newestFirst.append(text);
        }
    }
    lastLineIndex_ = toLineIndex(last);
    failedReads_ = 0;

    QString joined;
    joined.reserve(length);
    for (auto it = newestFirst.crbegin(); it != newestFirst.crend(); ++it)
        joined += *it;
    return joined;
}

ChatReader::LineRead ChatReader::readLine(std::int64_t line, QString* out) {
    const Hwnd window = link_.textWindow();
    const LResult start = windows_.sendMessage(window, wm::LineIndex, static_cast<WParam>(line), 0);
    if (start < 0 || start > std::numeric_limits<std::int32_t>::max())
        return LineRead::Failed;
    const LResult length = windows_.sendMessage(window, wm::LineLength, static_cast<WParam>(start), 0);
    if (length < 1)
        return LineRead::Empty;
    if (length > std::numeric_limits<std::int32_t>::max())
        return LineRead::Failed;

    const int capacity = static_cast<int>(std::min<LResult>(length, MaxLineFetch));
    QByteArray buffer = LineBuffer::make(capacity);
    const LResult copied = windows_.sendMessage(window, wm::GetLine, static_cast<WParam>(line),
                                                reinterpret_cast<LParam>(buffer.data()));
    if (copied < 1)
        return LineRead::Failed;
    const int kept = static_cast<int>(std::min<LResult>(copied, capacity));
    *out = Windows1252::decode(buffer.constData(), kept);
    return LineRead::Text;
}

QString ChatReader::failedRead(std::int32_t lastAtStart, std::int64_t newest) {
    // The next tick tries the same lines again; a line that keeps failing is given up so the
    // room's later lines still reach the bot.
    lastLineIndex_ = lastAtStart;
    if (++failedReads_ >= FailedReadLimit) {
        qCWarning(lcChat) << "gave up on the room's unread lines up to line" << newest << "after"
                          << failedReads_ << "failed reads";
        lastLineIndex_ = toLineIndex(newest);
        failedReads_ = 0;
    }
    return {};
}

void ChatReader::readNewText() {
    const QString text = getNewChatText();
    if (text == lastText_)
        return;
    lastText_ = text;
    if (text.size() > MaxTextLength)
        return; // too long for any command or answer: passed over
    const RoomLine line(text);

    if (line.isCommand() && commandHandler_)
        commandHandler_(line);
    if (session_.questionOpen())
        checkAnswer(line);
}

bool ChatReader::waitsForChange(std::function<void()> wake) {
    if (!lastText_.isEmpty() || failedReads_ != 0)
        return false;
    const std::optional<LResult> count =
        windows_.keptAnswer(link_.textWindow(), wm::GetLineCount, 0, 0, std::move(wake));
    return count && *count >= 1 && *count - 2 == LResult{lastLineIndex_};
}

void ChatReader::checkAnswer(const RoomLine& line) {
    const QString& answer = session_.answer();
    if (answer.isEmpty() || !line.text().contains(QLatin1Char(' ') + answer + QLatin1Char(' ')))
        return;
    if (!line.passesLengthTest(answer.size()))
        return;
    if (line.nick().isEmpty() || line.nick() == link_.botNick())
        return;
    if (answerHandler_)
        answerHandler_(line.nick());
}

} // namespace palvuro
