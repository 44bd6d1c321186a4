#include "chat/RoomLine.h"

#include "platform/LetterCase.h"

namespace palvuro {

namespace {

QString nickOf(const QString& text) {
    const qsizetype colon = text.indexOf(QLatin1Char(':')) + 1;
    if (colon <= 3)
        return {};
    const QString nick = text.left(colon - 3);
    if (nick.contains(QStringLiteral("/MSG ")))
        return {};
    return nick;
}

} // namespace

RoomLine::RoomLine(const QString& text) : text_(LetterCase::upper(text)), nick_(nickOf(text_)) {
    // Counted from the first separator, as the length test always has: with none, from the start.
    const qsizetype separator = text_.indexOf(QLatin1String("  : ")) + 1;
    message_ = text_.mid(separator + 2);
    bangPos_ = static_cast<int>(text_.indexOf(QLatin1Char('!')) + 1);
}

bool RoomLine::isCommand() const {
    return bangPos_ >= 3 && text_.mid(bangPos_ - 3, 3) == QLatin1String(": !");
}

} // namespace palvuro
