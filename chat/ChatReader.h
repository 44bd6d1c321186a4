#pragma once

#include "chat/GameSession.h"
#include "chat/RoomLine.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace palvuro {

class ChatLink;
class WindowApi;

// Reads the lines that are new in the room's text window since the previous tick, hands a
// "!" command to the layer above and checks the text against the open question's answer.
class ChatReader {
public:
    // Receives a line whose message is a "!" command.
    using CommandHandler = std::function<void(const RoomLine& line)>;

    // Receives the nick of a chatter who said the open question's answer.
    using AnswerHandler = std::function<void(const QString& nick)>;

    ChatReader(const GameSession& session, WindowApi& windows, ChatLink& link);

    void setCommandHandler(CommandHandler handler);
    void setAnswerHandler(AnswerHandler handler);
    // The room's lines up to this one count as read.
    void startFrom(std::int32_t lastReadLine);
    std::int32_t lastLineIndex() const { return lastLineIndex_; }
    // The previous tick's text: the same text again is not handled twice.
    const QString& lastText() const { return lastText_; }

    // The new lines, oldest first, joined with nothing between them; empty when nothing is new
    // or the read failed.
    QString getNewChatText();
    // The reader tick after the question clock: read, compare with LastText, command check,
    // answer check.
    void readNewText();
    // Whether the next tick would find the room as the last one left it: nothing new, no text to
    // forget, and the line count known without asking the window. Then WAKE is called once that
    // may have changed.
    bool waitsForChange(std::function<void()> wake);

    // Positions in a text are 16-bit; longer texts are passed over.
    static constexpr int MaxTextLength = 32767;
    // EM_GETLINE's capacity is a WORD.
    static constexpr int MaxLineFetch = 65535;
    // Consecutive failed reads of the same lines before they are given up as read.
    static constexpr int FailedReadLimit = 100;

private:
    enum class LineRead { Text, Empty, Failed };

    LineRead readLine(std::int64_t line, QString* out);
    QString failedRead(std::int32_t lastAtStart, std::int64_t newest);
    void checkAnswer(const RoomLine& line);

    const GameSession& session_;
    WindowApi& windows_;
    ChatLink& link_;
    CommandHandler commandHandler_;
    AnswerHandler answerHandler_;
    std::int32_t lastLineIndex_ = 0;
    QString lastText_;
    int failedReads_ = 0;
};

} // namespace palvuro
