#pragma once

#include "chatclient/ChatRoom.h"
#include "platform/LocalWindowApi.h"
#include "platform/WindowRegistry.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace palvuro {

// The in-memory desktop for unit tests: a window tree, the chat client's room on it (whose own
// nick is the one the bot speaks as) and the WindowApi that reaches it in-process. Every room
// line and private message is logged.
class FakeDesktop {
public:
    struct Private {
        QString from;
        QString to;
        QString text;
    };

    explicit FakeDesktop(const QString& clientNick = QStringLiteral("TriviaBot"), int wrapColumns = 80);

    WindowRegistry& registry() { return registry_; }
    ChatRoom& room() { return room_; }
    WindowApi& api() { return api_; }

    // NICK says TEXT in the room.
    void say(const QString& nick, const QString& text);

    // Room lines as "NICK: text", in order.
    const QStringList& roomLines() const { return roomLines_; }
    // Only the texts said by `nick`.
    QStringList linesBy(const QString& nick) const;
    const QList<Private>& privateMessages() const { return privates_; }
    void clearLog();

private:
    WindowRegistry registry_;
    ChatRoom room_;
    LocalWindowApi api_;
    QStringList roomLines_;
    QList<Private> privates_;
};

} // namespace palvuro
