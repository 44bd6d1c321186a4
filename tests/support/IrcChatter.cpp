#include "tests/support/IrcChatter.h"

#include "tests/support/IrcServer.h"

#include <cctype>

namespace palvuro {

IrcChatter::IrcChatter(const QString& nick, QObject* parent) : Chatter(nick, parent) {
    // Nagle would hold a line back while an earlier one waits for its ACK, and the answer
    // latency measured through a chatter would include it.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&socket_, &QTcpSocket::readyRead, this, &IrcChatter::readLines);
}

bool IrcChatter::connectTo(quint16 port, const QString& channel, int timeoutMs) {
    buffer_.clear();
    socket_.connectToHost(QString::fromLatin1(IrcServer::Host), port);
    if (!socket_.waitForConnected(timeoutMs))
        return false;
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
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

bool IrcChatter::isConnected() const {
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void IrcChatter::sendRaw(const QByteArray& line) {
    socket_.write(line + "\r\n");
    socket_.flush();
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
    if (rest.startsWith('@')) { // message tags: the tests have no use for them
        const qsizetype space = rest.indexOf(' ');
        rest = space < 0 ? QByteArray() : rest.mid(space + 1);
    }
    if (rest.startsWith(':')) {
        const qsizetype space = rest.indexOf(' ');
        const QByteArray prefix = rest.mid(1, space < 0 ? -1 : space - 1);
        const qsizetype bang = prefix.indexOf('!');
        if (bang >= 0)
            m.nick = QString::fromUtf8(prefix.left(bang));
        rest = space < 0 ? QByteArray() : rest.mid(space + 1);
    }
    while (!rest.isEmpty()) {
        if (rest.startsWith(':')) {
            m.params << QString::fromUtf8(rest.mid(1));
            break;
        }
        const qsizetype space = rest.indexOf(' ');
        const QByteArray word = rest.left(space < 0 ? rest.size() : space);
        if (!word.isEmpty()) {
            if (m.command.isEmpty())
                m.command = QString::fromUtf8(word).toUpper();
            else
                m.params << QString::fromUtf8(word);
        }
        rest = space < 0 ? QByteArray() : rest.mid(space + 1);
    }
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
