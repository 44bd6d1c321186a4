#pragma once

#include "tests/support/Chatter.h"

#include <QXmlStreamReader>

namespace palvuro {

// A person in an XMPP group chat, as the tests play one: a plain XML stream of its own on
// 127.0.0.1, written apart from any client's code. It logs in with a plain password, joins one
// room under its nick, and keeps what it hears as IRC would say it: the room's messages (not
// the history the room replays) as PRIVMSGs to the room's address, an occupant's private ones
// as PRIVMSGs to our nick, occupants coming and going as JOIN and PART, refusals as ERROR.
// It speaks only to the room.
class XmppChatter : public Chatter {
    Q_OBJECT
public:
    explicit XmppChatter(const QString& nick, QObject* parent = nullptr);

    // Logs in on the test server at PORT as USER and, unless ROOM (a room's address) is empty,
    // joins it; true once the room has let us in.
    bool connectTo(quint16 port, const QString& user, const QString& room, int timeoutMs = 15000);
    void say(const QString& room, const QString& text) override;
    // TEXT as the plain body beside XHTML, the inner markup of an XHTML-IM body, which clients
    // that render rich text show instead.
    void sayFormatted(const QString& room, const QString& text, const QString& xhtml);

private:
    // One stanza as it came, with its children.
    struct Element {
        QString name;
        QXmlStreamAttributes attributes;
        QString text;
        QList<Element> children;
        const Element* child(const QString& childName) const;
        QString attribute(const QString& key) const { return attributes.value(key).toString(); }
    };
    enum class State { Offline, LoggingIn, Binding, Online, Refused };

    void openStream();
    void readStanzas();
    void handle(const Element& stanza);
    void hearMessage(const Element& stanza);
    void hearPresence(const Element& stanza);
    void refuse(const QString& why);

    QXmlStreamReader reader_;
    QList<Element> open_; // the stanza being read and its open children
    bool streamOpen_ = false;
    State state_ = State::Offline;
    QString user_;
    QStringList present_; // the room's occupants
};

} // namespace palvuro
