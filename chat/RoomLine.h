#pragma once

#include <QString>

namespace palvuro {

// One text of the room as the engine reads it, taken apart once: upper-cased, the sender's nick,
// the message after the separator "  : " and the position of the first "!".
class RoomLine {
public:
    RoomLine() = default;
    explicit RoomLine(const QString& text);

    // Upper-cased.
    const QString& text() const { return text_; }
    // What stands before "  : ", or empty when the text has no usable separator before its first
    // ":" or that part holds "/MSG " (a private line).
    const QString& nick() const { return nick_; }
    // What follows the separator's colon, its blanks included.
    const QString& message() const { return message_; }
    // 1-based position of the first "!"; 0 when there is none.
    int bangPos() const { return bangPos_; }
    // The first "!" opens the message: a command for the dispatcher.
    bool isCommand() const;
    // The message is a blank, `length` characters and the closing blank, nothing more.
    bool passesLengthTest(qsizetype length) const { return message_.size() == length + 2; }

private:
    QString text_;
    QString nick_;
    QString message_;
    int bangPos_ = 0;
};

} // namespace palvuro
