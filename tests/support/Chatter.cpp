#include "tests/support/Chatter.h"

#include "tests/support/WaitUntil.h"

namespace palvuro {

namespace {

// Short steps: a message's time stamp is taken when the loop reads it, and answer latencies
// are measured on those stamps.
constexpr int kStepMs = 2;

} // namespace

Chatter::Chatter(const QString& nick, QObject* parent) : QObject(parent), nick_(nick) {
    clock_.start();
}

bool Chatter::connectSocket(quint16 port, int timeoutMs) {
    socket_.connectToHost(QHostAddress::LocalHost, port);
    if (!socket_.waitForConnected(timeoutMs))
        return false;
    // Nagle would hold a line back while an earlier one waits for its ACK, and the answer
    // latency measured through a chatter would include it.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void Chatter::sendRaw(const QByteArray& data) {
    socket_.write(data);
    socket_.flush();
}

void Chatter::record(Message m) {
    m.ms = clock_.elapsed();
    received_ << std::move(m);
}

std::optional<Chatter::Message> Chatter::waitFor(const Match& match, int from, int timeoutMs,
                                                 int* index) const {
    return waitForItem<Message>([this] { return received_; }, from, match, index, timeoutMs, kStepMs);
}

QList<Chatter::Message> Chatter::messagesFrom(const QString& nick, int from) const {
    QList<Message> out;
    const Match match = privmsgFrom(nick);
    for (int i = from; i < receivedCount(); ++i)
        if (match(received_.at(i)))
            out << received_.at(i);
    return out;
}

QByteArray Chatter::dump(int from) const {
    // What chatters do, not the server's greeting and numerics.
    static const QStringList shown{
        QStringLiteral("PRIVMSG"), QStringLiteral("NOTICE"), QStringLiteral("JOIN"), QStringLiteral("PART"),
        QStringLiteral("QUIT"),    QStringLiteral("NICK"),   QStringLiteral("KICK"), QStringLiteral("ERROR")};
    QByteArray out = nick_.toUtf8() + " received:\n";
    for (int i = from; i < receivedCount(); ++i)
        if (shown.contains(received_.at(i).command))
            out += QByteArray::number(received_.at(i).ms) + ' ' + received_.at(i).raw.left(200) + '\n';
    return out;
}

Chatter::Match Chatter::privmsgFrom(const QString& nick, const QString& text) {
    return [nick, text](const Message& m) {
        return m.command == QLatin1String("PRIVMSG") && m.nick.compare(nick, Qt::CaseInsensitive) == 0 &&
               (text.isNull() || m.text() == text);
    };
}

} // namespace palvuro
