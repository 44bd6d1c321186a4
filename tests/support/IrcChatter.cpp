#include "tests/support/IrcChatter.h"

#include <cctype>

namespace palvuro {

IrcChatter::IrcChatter(const QString& nick, QObject* parent) : Chatter(nick, parent) {
    connect(&socket_, &QTcpSocket::readyRead, this, &IrcChatter::readLines);
}

bool IrcChatter::connectTo(quint16 port, const QString& channel, int timeoutMs) {
    buffer_.clear();
    if (!connectSocket(port, timeoutMs))
        return false;
    const int mark = receivedCount();
    sendRaw("NICK " + nick().toUtf8());
    // A server takes letters and digits for a user name, whatever it lets into a nick.
    QByteArray user = nick().toUtf8();
    user.removeIf([](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
    sendRaw("USER " + (user.isEmpty() ? QByteArrayLiteral("chatter") : user) + " 0 * :Palvuro test chatter");
    if (!waitFor([](const Message& m) { return m.command == QLatin1String("001"); }, mark, timeoutMs))
        return false;
    if (channel.isEmpty())
        return true;
    sendRaw("JOIN " + channel.toUtf8());
    return waitFor([](const Message& m) { return m.command == QLatin1String("366"); }, mark, timeoutMs)
        .has_value();
}

void IrcChatter::sendRaw(const QByteArray& line) {
    Chatter::sendRaw(line + "\r\n");
}

void IrcChatter::say(const QString& target, const QString& text) {
    sendRaw("PRIVMSG " + target.toUtf8() + " :" + text.toUtf8());
}

void IrcChatter::quit() {
    if (!isConnected())
        return;
    sendRaw("QUIT :bye");
    socket_.disconnectFromHost();
    if (socket_.state() != QAbstractSocket::UnconnectedState)
        socket_.waitForDisconnected(5000);
}

IrcChatter::Message IrcChatter::parse(const QByteArray& line) {
    Message m;
    m.raw = line;
    QByteArray rest = line;
    if (rest.startsWith('@')) // message tags: the tests have no use for them
        rest = rest.mid(rest.indexOf(' ') + 1);
    // A prefix holds no blank, so the first " :" starts the trailing parameter.
    const qsizetype trailing = rest.indexOf(" :");
    QList<QByteArray> words = rest.left(trailing).split(' ');
    words.removeAll(QByteArray());
    if (!words.isEmpty() && words.first().startsWith(':')) {
        const QByteArray prefix = words.takeFirst().mid(1);
        if (prefix.contains('!'))
            m.nick = QString::fromUtf8(prefix.left(prefix.indexOf('!')));
    }
    if (!words.isEmpty())
        m.command = QString::fromUtf8(words.takeFirst()).toUpper();
    for (const QByteArray& word : std::as_const(words))
        m.params << QString::fromUtf8(word);
    if (trailing >= 0)
        m.params << QString::fromUtf8(rest.mid(trailing + 2));
    return m;
}

void IrcChatter::readLines() {
    buffer_ += socket_.readAll();
    for (qsizetype end = buffer_.indexOf('\n'); end >= 0; end = buffer_.indexOf('\n')) {
        QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        Message m = parse(line);
        if (m.command == QLatin1String("PING"))
            sendRaw("PONG :" + (m.params.isEmpty() ? QByteArray() : m.params.last().toUtf8()));
        record(std::move(m));
    }
}

} // namespace palvuro
