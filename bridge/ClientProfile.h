#pragma once

#include "a11y/AccessibleNode.h"
#include "a11y/TextRun.h"
#include "bridge/ConversationLine.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace palvuro {

// A conversation as a client shows it: the text that holds its lines and the box one types in,
// and the tab or window that carries its name.
struct Conversation {
    AccessibleNode history;
    AccessibleNode input;
    AccessibleNode title;
    QString name;
    bool isNull() const { return history.isNull() || input.isNull(); }
};

// What the bridge must know of one chat client: where its conversations are, how it lays out a
// line, and how a person sends one. Everything else (pacing, the room's window, following a
// conversation that goes and comes back) is the same for every client.
class ClientProfile {
public:
    virtual ~ClientProfile() = default;

    // The name on the command line ("pidgin") and the application's name on the bus ("Pidgin").
    virtual QString name() const = 0;
    virtual QString applicationName() const = 0;
    // The program's process name, to tell "not running" from "running but not on the bus".
    virtual QString processName() const = 0;
    // What a person must do so that the client shows itself on the accessibility bus.
    virtual QString howToShow() const = 0;

    virtual QStringList conversations(const AccessibleNode& application) const = 0;
    virtual Conversation find(const AccessibleNode& application, const QString& conversation) const = 0;
    // The lines in RUNS, read from the end of an earlier read to the end of the text.
    virtual QList<ConversationLine> parse(const QList<TextRun>& runs) const = 0;
    // Whether the client is in the conversation's room. One whose account disconnected keeps
    // the conversation open, out of the room, until the account is back.
    virtual bool inRoom(const Conversation& conversation) const = 0;

    // What to type so that TEXT goes to the conversation, or to NICK alone, as said; empty
    // when the client has no way to send to NICK alone.
    virtual QString roomLine(const QString& text) const = 0;
    virtual QString privateLine(const QString& nick, const QString& text) const = 0;
    // Types LINE into the conversation's box and sends it as a person would.
    virtual bool send(const Conversation& conversation, const QString& line) const = 0;
    // Presses the client's way of sending once more, for what its input box holds.
    virtual bool pressSend(const Conversation& conversation) const = 0;
    // Whether the client has taken the line last sent (a key press reaches it later than the
    // text): the next one may be typed only then, or it would replace the first.
    virtual bool taken(const Conversation& conversation) const = 0;

    // The profile for NAME, or null when there is none; every NAME there is.
    static std::unique_ptr<ClientProfile> create(const QString& name);
    static QStringList names();
};

} // namespace palvuro
