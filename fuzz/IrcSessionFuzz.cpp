#include "fuzz/IrcSessionFuzz.h"

#include "fuzz/FuzzApplication.h"
#include "irc/IrcMessage.h"
#include "irc/IrcSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace palvuro {
namespace {

constexpr int kBoundMs = 5000;
const QByteArray kChannel = QByteArrayLiteral("#trivia");
const QByteArray kEndToken = QByteArrayLiteral("palvuro-fuzz-end");

template <typename Done> bool runUntil(Done done, int boundMs = kBoundMs) {
    const QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

IrcSessionConfig fuzzConfig(quint16 port) {
    IrcSessionConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = port;
    config.channel = QString::fromLatin1(kChannel);
    config.nick = QStringLiteral("TriviaBot");
    // Nothing of its own timing may interfere within one input.
    config.pingIdleMs = config.pingTimeoutMs = config.registerTimeoutMs = 60000;
    config.backoff = IrcBackoff::Limits{{60000, 60000}, {60000, 60000}, {60000, 60000}, {60000, 60000}};
    return config;
}

bool checkWritten(const QByteArray& written, QString* failure) {
    static const QSet<QByteArray> upkeep = {"CAP",  "NICK", "USER",         "PONG",    "PING",
                                            "JOIN", "QUIT", "AUTHENTICATE", "MONITOR", "WATCH"};
    const QList<QByteArray> lines = written.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (!line.endsWith('\r') || line.chopped(1).contains('\r') || line.contains('\0')) {
            *failure =
                QStringLiteral("the session wrote a broken line: ") + QString::fromLatin1(line.toHex());
            return false;
        }
        const IrcMessage message = IrcMessage::parse(line.chopped(1));
        const bool said = message.command == "PRIVMSG" && message.param(0) == kChannel &&
                          (message.param(1) == "hi" || message.param(1) == "QUIT :x");
        // A client-to-client query from the input is answered privately, never in the channel.
        const QByteArray text = message.param(1);
        const bool ctcpReply = message.command == "NOTICE" && message.param(0) != kChannel &&
                               text.size() >= 2 && text.startsWith('\x01') && text.endsWith('\x01');
        // Ours is the one channel joined; one the server put us into is left, never ours.
        const bool ownChannel = message.param(0) == kChannel;
        const bool upkept = (upkeep.contains(message.command) && (message.command != "JOIN" || ownChannel)) ||
                            (message.command == "PART" && !ownChannel);
        if (!said && !upkept && !ctcpReply) {
            *failure = QStringLiteral("the session wrote what it was not asked to: ") +
                       QString::fromLatin1(line.toHex());
            return false;
        }
    }
    if (!written.isEmpty() && !written.endsWith('\n')) {
        *failure = QStringLiteral("the session wrote part of a line");
        return false;
    }
    return true;
}

} // namespace

bool IrcSessionFuzz::run(const QByteArray& input, QString* failure) {
    FuzzApplication::ensure();
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) {
        *failure = QStringLiteral("no loopback port to fuzz the session on");
        return false;
    }
    auto session = std::make_unique<IrcSession>(fuzzConfig(server.serverPort()));
    session->start();
    if (!runUntil([&] { return server.hasPendingConnections(); })) {
        *failure = QStringLiteral("the session did not connect");
        return false;
    }
    QPointer<QTcpSocket> peer = server.nextPendingConnection();
    QByteArray written;
    const auto collect = [&] {
        if (peer)
            written += peer->readAll();
    };
    QObject::connect(peer, &QTcpSocket::readyRead, peer, collect);
    // The input, then a PING whose answer shows the session has read all of it (unless the
    // input made it hang up, which it may).
    peer->write(input + "\r\nPING :" + kEndToken + "\r\n");
    const bool finished = runUntil([&] {
        return written.contains(kEndToken) || !peer || peer->state() != QAbstractSocket::ConnectedState;
    });
    if (!finished) {
        *failure = QStringLiteral("the session did not read its input within %1 ms").arg(kBoundMs);
        return false;
    }
    if (session->state() == IrcSession::State::Joined) {
        session->say(QStringLiteral("hi\r\nQUIT :x"));
        // Out at once unless the input used up the allowance, and closing would drop it.
        runUntil([&] { return written.contains("PRIVMSG"); }, 500);
    } else if (session->say(QStringLiteral("late"))) {
        *failure = QStringLiteral("the session accepted a line while not in the channel");
        return false;
    }
    session.reset(); // the connection closes; what was written before is all there is
    runUntil([&] { return !peer || peer->state() != QAbstractSocket::ConnectedState; });
    collect();
    return checkWritten(written, failure);
}

} // namespace palvuro
