#pragma once

#include <QByteArray>
#include <QString>

namespace palvuro {

// What a chatter's bytes look like once they are shown as plain chat text.
class IrcText {
public:
    // UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252: clients of both kinds share
    // channels, and a wrong guess must never lose a line.
    static QString decode(const QByteArray& bytes);
    // Without formatting codes (bold, colours with their numbers, hex colours, reset, italics,
    // underline, reverse, monospace, strikethrough) and without other control characters, so a
    // coloured answer reads like a plain one.
    static QString stripFormatting(const QString& text);
    // decode() then stripFormatting().
    static QString plain(const QByteArray& bytes);
};

} // namespace palvuro
