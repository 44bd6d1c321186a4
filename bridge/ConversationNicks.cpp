#include "bridge/ConversationNicks.h"

#include "chatclient/IrcRoomLink.h"
#include "platform/LetterCase.h"
#include "platform/Windows1252.h"

namespace palvuro {

QString ConversationNicks::asBotReads(const QString& nick) {
    return LetterCase::upper(Windows1252::decode(Windows1252::encode(IrcRoomLink::inert(nick))));
}

void ConversationNicks::heard(const QString& nick) {
    if (nick.isEmpty())
        return;
    const QString read = asBotReads(nick);
    nicks_.removeIf([&](const std::pair<QString, QString>& known) { return known.first == read; });
    nicks_.append({read, nick});
    if (nicks_.size() > MaxNicks)
        nicks_.removeFirst();
}

ConversationNicks::Target ConversationNicks::resolve(const QString& to, const QString& text) const {
    const QString line = to + QLatin1Char(' ') + text;
    const std::pair<QString, QString>* best = nullptr;
    for (const auto& known : nicks_) {
        const qsizetype length = known.first.size();
        if (length < to.size() || !line.startsWith(known.first))
            continue;
        const bool whole = line.size() == length || line.at(length) == QLatin1Char(' ');
        if (whole && (!best || length >= best->first.size()))
            best = &known; // newest last: of two alike, the one heard last
    }
    if (!best)
        return {to, text};
    return {best->second, line.mid(best->first.size() + 1)};
}

} // namespace palvuro
