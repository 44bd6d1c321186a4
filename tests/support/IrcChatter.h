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

// A person in the channel, as the tests play one: a raw IRC connection of its own, written
// apart from the client's protocol code so that both cannot share a mistake. It registers,
// joins, answers the server's PINGs, says what it is told byte for byte and keeps everything
// it receives.
class IrcChatter : public QObject {
    Q_OBJECT
public:
    struct Message {
        qint64 ms = 0;   // since the chatter was made
        QByteArray raw;  // the line without CR LF
        QString nick;    // the prefix's nick, empty for a server
        QString command; // upper case
        QStringList params;
        QString text() const { return params.isEmpty() ? QString() : params.last(); }
    };
    using Match = std::function<bool(const Message&)>;

    explicit IrcChatter(const QString& nick, QObject* parent = nullptr);

    // Registers on 127.0.0.1:PORT and, unless CHANNEL is empty, joins it; true once the
    // server has listed the channel's names.
    bool connectTo(quint16 port, const QString& channel, int timeoutMs = 15000);
    bool isConnected() const;
    QString nick() const { return nick_; }
    qint64 elapsed() const { return clock_.elapsed(); } // on the clock of Message::ms

    // One raw line as it goes on the wire (CR LF is added): the tests' hostile input.
    void sendRaw(const QByteArray& line);
    void say(const QString& target, const QString& text); // PRIVMSG in UTF-8
    void quit();

    const QList<Message>& received() const { return received_; }
    int receivedCount() const { return int(received_.size()); }
    // The first message from index FROM on that matches, waiting while the event loop runs.
    std::optional<Message> waitFor(const Match& match, int from = 0, int timeoutMs = 15000,
                                   int* index = nullptr) const;
    // PRIVMSGs received from NICK from index FROM on, to the channel or to us.
    QList<Message> messagesFrom(const QString& nick, int from = 0) const;
    QByteArray dump(int from = 0) const; // for failure messages

    static Match privmsgFrom(const QString& nick, const QString& text = {});
    static Message parse(const QByteArray& line);

private:
    void readLines();

    QString nick_;
    QTcpSocket socket_;
    QByteArray buffer_;
    QList<Message> received_;
    QElapsedTimer clock_;
};

} // namespace palvuro
