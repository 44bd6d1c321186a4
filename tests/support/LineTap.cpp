#include "tests/support/LineTap.h"

#include <QTcpSocket>

#include <algorithm>

namespace palvuro {

LineTap::LineTap(quint16 serverPort, QObject* parent) : QObject(parent), serverPort_(serverPort) {
    listener_.listen(QHostAddress::LocalHost, 0);
    connect(&listener_, &QTcpServer::newConnection, this, &LineTap::relay);
}

int LineTap::count(const QByteArray& command) const {
    return int(std::count_if(sent_.cbegin(), sent_.cend(), [&](const QByteArray& line) {
        return line == command || line.startsWith(command + ' ');
    }));
}

void LineTap::relay() {
    while (QTcpSocket* client = listener_.nextPendingConnection()) {
        ++connections_;
        auto* server = new QTcpSocket(client); // ends with the client's side
        auto* pending = new QByteArray;
        connect(client, &QObject::destroyed, this, [pending] { delete pending; });
        connect(client, &QTcpSocket::readyRead, this, [this, client, server, pending] {
            const QByteArray bytes = client->readAll();
            server->write(bytes);
            pending->append(bytes);
            for (qsizetype end; (end = pending->indexOf('\n')) >= 0; pending->remove(0, end + 1))
                sent_.append(pending->left(end).trimmed());
        });
        connect(server, &QTcpSocket::readyRead, client,
                [client, server] { client->write(server->readAll()); });
        connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
        connect(client, &QTcpSocket::disconnected, this, [client, server] {
            server->disconnectFromHost();
            client->deleteLater();
        });
        server->connectToHost(QHostAddress::LocalHost, serverPort_);
    }
}

} // namespace palvuro
