#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

#include <functional>
#include <optional>

namespace palvuro {

// A person in a room, as the tests play one over a connection of its own: whatever the
// network, everything it receives is kept as IRC would say it (a room's or a private message
// is a PRIVMSG to the room or to us, comings and goings are JOIN and PART), so that one script
// can play a game on any of them.
class Chatter : public QObject {
    Q_OBJECT
public:
    struct Message {
        qint64 ms = 0;   // since the chatter was made
        QByteArray raw;  // as it came, without CR LF
        QString nick;    // the sender's nick, empty for a server
        QString command; // upper case
        QStringList params;
        QString text() const { return params.isEmpty() ? QString() : params.last(); }
    };
    using Match = std::function<bool(const Message&)>;

    explicit Chatter(const QString& nick, QObject* parent = nullptr);

    QString nick() const { return nick_; }
    qint64 elapsed() const { return clock_.elapsed(); } // on the clock of Message::ms
    bool isConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // Says TEXT to TARGET: the room, or one nick alone.
    virtual void say(const QString& target, const QString& text) = 0;
    // One raw line or stanza as it goes on the wire: the tests' hostile input.
    virtual void sendRaw(const QByteArray& data);

    const QList<Message>& received() const { return received_; }
    int receivedCount() const { return int(received_.size()); }
    // The first message from index FROM on that matches, waiting while the event loop runs.
    std::optional<Message> waitFor(const Match& match, int from = 0, int timeoutMs = 15000,
                                   int* index = nullptr) const;
    // PRIVMSGs received from NICK from index FROM on, to the room or to us.
    QList<Message> messagesFrom(const QString& nick, int from = 0) const;
    QByteArray dump(int from = 0) const; // for failure messages

    static Match privmsgFrom(const QString& nick, const QString& text = {});

protected:
    // Connects to the test server's PORT on 127.0.0.1.
    bool connectSocket(quint16 port, int timeoutMs);
    void record(Message m);

    QTcpSocket socket_;

private:
    QString nick_;
    QList<Message> received_;
    QElapsedTimer clock_;
};

} // namespace palvuro
