#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace palvuro {

// The nicks a conversation has shown, to send a private line to the one the bot means. The bot
// knows a nick only as it read it: upper-cased, its colons made inert, through its code page;
// and its "/msg NICK text" ends the nick at the first blank. Networks such as XMPP tell nicks
// apart by letter case and let blanks into them, so the nick is found again among those heard,
// the most recent one when several read alike.
class ConversationNicks {
public:
    // Nicks remembered at most; the oldest heard goes first.
    static constexpr int MaxNicks = 500;

    struct Target {
        QString nick; // as the conversation shows it
        QString text;
    };

    void heard(const QString& nick);
    // Whom the bot's "/msg TO TEXT" is for and what it says to them: the longest nick heard
    // that the line starts with, else TO itself.
    Target resolve(const QString& to, const QString& text) const;
    // The nick as the bot reads it.
    static QString asBotReads(const QString& nick);

private:
    QList<std::pair<QString, QString>> nicks_; // as the bot reads it, as shown; newest last
};

} // namespace palvuro
