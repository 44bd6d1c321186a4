#pragma once

#include "chatclient/ChatRoom.h"
#include "platform/LocalWindowApi.h"
#include "platform/WindowRegistry.h"

#include <QStringList>

namespace palvuro {

// The in-memory desktop: a window tree, the chat client's room on it (whose own nick is the one
// the bot speaks as) and the WindowApi that reaches it in-process. Every line said is logged.
class FakeDesktop {
public:
    explicit FakeDesktop(const QString& clientNick = QStringLiteral("TriviaBot"), int wrapColumns = 80)
        : room_(registry_, clientNick, wrapColumns), api_(registry_) {
        QObject::connect(&room_, &ChatRoom::roomLine,
                         [this](const QString& from, const QString& text) { lines_ << from + ": " + text; });
        QObject::connect(
            &room_, &ChatRoom::privateMessage,
            [this](const QString&, const QString& to, const QString& text) { privates_ << to + ' ' + text; });
    }

    ChatRoom& room() { return room_; }
    WindowApi& api() { return api_; }
    WindowRegistry& registry() { return registry_; }
    void say(const QString& nick, const QString& text) { room_.say(nick, text); }

    // The texts `nick` said in the room, in order.
    QStringList linesBy(const QString& nick) const {
        QStringList texts;
        for (const QString& line : lines_) {
            if (line.startsWith(nick + ": "))
                texts << line.mid(nick.size() + 2);
        }
        return texts;
    }
    // The private messages as "TO text".
    const QStringList& privateTexts() const { return privates_; }
    void clearLog() { lines_.clear(), privates_.clear(); }

private:
    WindowRegistry registry_;
    ChatRoom room_;
    LocalWindowApi api_;
    QStringList lines_, privates_;
};

} // namespace palvuro
