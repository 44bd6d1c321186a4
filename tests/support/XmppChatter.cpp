#include "tests/support/XmppChatter.h"

#include "tests/support/ProsodyServer.h"
#include "tests/support/WaitUntil.h"

namespace palvuro {

namespace {

const QString kMuc = QStringLiteral("http://jabber.org/protocol/muc");
const QString kSelfPresence = QStringLiteral("110");

QByteArray escaped(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

// "room@service/nick" taken apart.
std::pair<QString, QString> roomAndNick(const QString& from) {
    const qsizetype slash = from.indexOf(QLatin1Char('/'));
    return slash < 0 ? std::pair{from, QString()} : std::pair{from.left(slash), from.mid(slash + 1)};
}

} // namespace

const XmppChatter::Element* XmppChatter::Element::child(const QString& childName) const {
    for (const Element& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

XmppChatter::XmppChatter(const QString& nick, QObject* parent) : Chatter(nick, parent) {
    connect(&socket_, &QTcpSocket::readyRead, this, &XmppChatter::readStanzas);
}

bool XmppChatter::connectTo(quint16 port, const QString& user, const QString& room, int timeoutMs) {
    user_ = user;
    state_ = State::LoggingIn;
    if (!connectSocket(port, timeoutMs))
        return false;
    openStream();
    const auto settled = [this] {
        return state_ == State::Online || state_ == State::Refused || !isConnected();
    };
    if (!waitUntil(settled, timeoutMs, 5) || state_ != State::Online)
        return false;
    if (room.isEmpty())
        return true;
    const int mark = receivedCount();
    sendRaw("<presence to=\"" + escaped(room + QLatin1Char('/') + nick()) + "\"><x xmlns=\"" + kMuc.toUtf8() +
            "\"><history maxstanzas=\"0\"/></x></presence>");
    const auto in = waitFor(
        [this](const Message& m) {
            return (m.command == QLatin1String("JOIN") && m.nick == nick()) ||
                   m.command == QLatin1String("ERROR");
        },
        mark, timeoutMs);
    return in && in->command == QLatin1String("JOIN");
}

void XmppChatter::openStream() {
    reader_.clear();
    open_.clear();
    streamOpen_ = false;
    sendRaw(QByteArrayLiteral("<?xml version='1.0'?><stream:stream to='") + ProsodyServer::Domain +
            "' version='1.0' xmlns='jabber:client' xmlns:stream='http://etherx.jabber.org/streams'>");
}

void XmppChatter::say(const QString& room, const QString& text) {
    sayFormatted(room, text, {});
}

void XmppChatter::sayFormatted(const QString& room, const QString& text, const QString& xhtml) {
    QByteArray rich;
    if (!xhtml.isEmpty())
        rich = "<html xmlns=\"http://jabber.org/protocol/xhtml-im\"><body "
               "xmlns=\"http://www.w3.org/1999/xhtml\">" +
               xhtml.toUtf8() + "</body></html>";
    sendRaw("<message to=\"" + escaped(room) + "\" type=\"groupchat\"><body>" + escaped(text) + "</body>" +
            rich + "</message>");
}

void XmppChatter::readStanzas() {
    reader_.addData(socket_.readAll());
    while (!reader_.atEnd()) {
        switch (reader_.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!streamOpen_)
                streamOpen_ = true; // the stream's own element holds every stanza
            else
                open_ << Element{reader_.name().toString(), reader_.attributes(), {}, {}};
            break;
        case QXmlStreamReader::Characters:
            if (!open_.isEmpty())
                open_.last().text += reader_.text();
            break;
        case QXmlStreamReader::EndElement:
            if (open_.isEmpty()) {
                socket_.disconnectFromHost(); // the server closed the stream
                return;
            } else if (open_.size() == 1) {
                handle(open_.takeLast()); // may start a new stream: nothing read is left over
            } else {
                const Element done = open_.takeLast();
                open_.last().children << done;
            }
            break;
        case QXmlStreamReader::Invalid:
            if (reader_.error() != QXmlStreamReader::PrematureEndOfDocumentError)
                refuse(QStringLiteral("unreadable stream: ") + reader_.errorString());
            return; // the rest of the stanza has not come yet
        default:
            break;
        }
    }
}

void XmppChatter::handle(const Element& stanza) {
    if (stanza.name == QLatin1String("features") && state_ == State::LoggingIn) {
        QByteArray plain;
        plain.append('\0').append(user_.toUtf8()).append('\0').append(ProsodyServer::Password);
        sendRaw("<auth xmlns='urn:ietf:params:xml:ns:xmpp-sasl' mechanism='PLAIN'>" + plain.toBase64() +
                "</auth>");
    } else if (stanza.name == QLatin1String("success")) {
        state_ = State::Binding;
        openStream();
    } else if (stanza.name == QLatin1String("features") && state_ == State::Binding) {
        sendRaw("<iq type='set' id='bind'><bind xmlns='urn:ietf:params:xml:ns:xmpp-bind'><resource>" +
                escaped(nick()) + "</resource></bind></iq>");
    } else if (stanza.name == QLatin1String("iq") &&
               stanza.attribute(QStringLiteral("id")) == QLatin1String("bind")) {
        if (stanza.attribute(QStringLiteral("type")) == QLatin1String("result"))
            state_ = State::Online;
        else
            refuse(QStringLiteral("no resource bound"));
    } else if (stanza.name == QLatin1String("failure")) {
        refuse(QStringLiteral("login refused"));
    } else if (stanza.name == QLatin1String("message")) {
        hearMessage(stanza);
    } else if (stanza.name == QLatin1String("presence")) {
        hearPresence(stanza);
    }
}

void XmppChatter::hearMessage(const Element& stanza) {
    const auto [room, from] = roomAndNick(stanza.attribute(QStringLiteral("from")));
    const QString type = stanza.attribute(QStringLiteral("type"));
    const Element* body = stanza.child(QStringLiteral("body"));
    if (!body || type == QLatin1String("error") || stanza.child(QStringLiteral("delay")))
        return; // a subject, a typing notice, a refusal, or the room's history
    Message m;
    m.nick = from.isEmpty() ? room : from;
    m.command = QStringLiteral("PRIVMSG");
    m.params << (type == QLatin1String("groupchat") ? room : nick()) << body->text;
    m.raw =
        (type + QLatin1Char(' ') + stanza.attribute(QStringLiteral("from")) + QStringLiteral(": ") + m.text())
            .toUtf8();
    record(std::move(m));
}

void XmppChatter::hearPresence(const Element& stanza) {
    const QString fromAttribute = stanza.attribute(QStringLiteral("from"));
    const auto [room, from] = roomAndNick(fromAttribute);
    const QString type = stanza.attribute(QStringLiteral("type"));
    QStringList codes;
    if (const Element* x = stanza.child(QStringLiteral("x")))
        for (const Element& c : x->children)
            if (c.name == QLatin1String("status"))
                codes << c.attribute(QStringLiteral("code"));
    Message m;
    m.nick = from;
    if (type == QLatin1String("error")) {
        m.command = QStringLiteral("ERROR");
        m.params << QStringLiteral("presence refused");
    } else if (type == QLatin1String("unavailable")) {
        present_.removeAll(from);
        m.command = QStringLiteral("PART");
    } else if (!present_.contains(from)) {
        present_ << from;
        m.command = QStringLiteral("JOIN");
        m.params << room;
    } else {
        return; // a change of status
    }
    if (codes.contains(kSelfPresence))
        m.nick = nick();
    m.raw = (QStringLiteral("presence ") + type + QLatin1Char(' ') + fromAttribute).toUtf8();
    record(std::move(m));
}

void XmppChatter::refuse(const QString& why) {
    state_ = State::Refused;
    Message m;
    m.command = QStringLiteral("ERROR");
    m.params << why;
    m.raw = why.toUtf8();
    record(std::move(m));
}

} // namespace palvuro
