#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

namespace palvuro {

// A relay between a client and a server on 127.0.0.1 that keeps every line the client sends:
// what a client put on the wire, counted where the server would see it. Bytes pass unchanged
// both ways; each client connection gets its own connection to the server.
class LineTap : public QObject {
    Q_OBJECT
public:
    explicit LineTap(quint16 serverPort, QObject* parent = nullptr);

    quint16 port() const { return listener_.serverPort(); }
    int connections() const { return connections_; }
    // The client's lines so far, without CR LF, in the order they were sent.
    const QList<QByteArray>& sent() const { return sent_; }
    // How many of them have COMMAND as their command (an IRC line with no prefix).
    int count(const QByteArray& command) const;

private:
    void relay();

    quint16 serverPort_;
    QTcpServer listener_;
    QList<QByteArray> sent_;
    int connections_ = 0;
};

} // namespace palvuro
