// The session against a real ircd-hybrid, talking with raw chatters, and against a scripted
// server where ircd-hybrid has nothing to offer (SASL, a server that stops answering).
#include "irc/IrcSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using namespace palvuro;

namespace {

const QString kChannel = QStringLiteral("#trivia");

IrcSessionConfig configFor(quint16 port, const QString& nick = QStringLiteral("TriviaBot")) {
    IrcSessionConfig config;
    config.host = QString::fromLatin1(IrcServer::Host);
    config.port = port;
    config.channel = kChannel;
    config.nick = nick;
    config.nickRetryMs = 500;
    config.pingIdleMs = 5000;
    config.pingTimeoutMs = 3000;
    config.registerTimeoutMs = 5000;
    config.rejoinDelayMs = 200;
    config.backoff = IrcBackoff::Limits{200, 1000, 500};
    return config;
}

// One side of a strict conversation: each line the client must send, in order, and what the
// server answers to it.
class ScriptedServer : public QObject {
public:
    ScriptedServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            client.reset(server.nextPendingConnection());
            ++connections;
            QObject::connect(client.get(), &QTcpSocket::readyRead, this, [this] {
                while (client->canReadLine())
                    heard.append(client->readLine().trimmed());
            });
        });
    }
    void send(const QByteArray& lines) { client->write(lines); }
    bool hears(const QByteArray& line, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return heard.contains(line); }, timeoutMs);
    }

    QTcpServer server;
    std::unique_ptr<QTcpSocket> client;
    QList<QByteArray> heard;
    int connections = 0;
};

} // namespace

class TestIrcSession : public QObject {
    Q_OBJECT

    std::unique_ptr<IrcServer> ircd;

    void requireServer() {
        const QString why = IrcServer::cannotRun();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        ircd = std::make_unique<IrcServer>();
        QVERIFY2(ircd->start(), qPrintable(ircd->error()));
    }

private Q_SLOTS:
    void cleanup() { ircd.reset(); }

    // What chatters do reaches the room as plain text and notices; what the room says reaches
    // the chatters exactly, one PRIVMSG per line, long lines cut to fit, nothing injected.
    void talksWithTheChannel() {
        requireServer();
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        IrcSession session(configFor(ircd->port()));
        QSignalSpy said(&session, &IrcSession::channelMessage);
        QSignalSpy acted(&session, &IrcSession::channelAction);
        QSignalSpy whispered(&session, &IrcSession::privateMessage);
        QSignalSpy renamed(&session, &IrcSession::nickChanged);
        QSignalSpy left(&session, &IrcSession::quit);
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 10000);
        QCOMPARE(session.nick(), QStringLiteral("TriviaBot"));
        QVERIFY(session.users().contains(QStringLiteral("ANNA")));

        anna.sendRaw("PRIVMSG #trivia :\x02\x03"
                     "04,12Paris\x0f");
        anna.sendRaw("PRIVMSG #trivia :\x01VERSION\x01");
        anna.sendRaw("PRIVMSG #trivia :\x01"
                     "ACTION waves\x01");
        anna.sendRaw("PRIVMSG #trivia :caf\xe9 " + QByteArray(1000, 'x'));
        anna.sendRaw("PRIVMSG TriviaBot :psst");
        QTRY_COMPARE(whispered.size(), 1);
        QCOMPARE(whispered.at(0), (QVariantList{QStringLiteral("ANNA"), QStringLiteral("psst")}));
        QCOMPARE(said.size(), 2); // the VERSION request is no chat
        QCOMPARE(said.at(0).at(1).toString(), QStringLiteral("Paris"));
        QVERIFY(said.at(1).at(1).toString().startsWith(QStringLiteral("café xxx")));
        QCOMPARE(acted.at(0), (QVariantList{QStringLiteral("ANNA"), QStringLiteral("waves")}));

        const int from = anna.receivedCount();
        QVERIFY(session.say(QStringLiteral("one\r\n\r\ntwo") + QChar(u'\0') + QStringLiteral("\rQUIT :bye")));
        QVERIFY(!session.sayTo(QStringLiteral("ANNA\r\nQUIT"), QStringLiteral("x")));
        const QString longLine = QStringLiteral("é").repeated(300) + QStringLiteral("🎲").repeated(60);
        QVERIFY(session.sayTo(QStringLiteral("ANNA"), longLine));
        QTRY_COMPARE_WITH_TIMEOUT(anna.messagesFrom(QStringLiteral("TriviaBot"), from).size(), 5, 10000);
        const QList<IrcChatter::Message> got = anna.messagesFrom(QStringLiteral("TriviaBot"), from);
        QCOMPARE(got.at(0).text(), QStringLiteral("one"));
        QCOMPARE(got.at(1).text(), QStringLiteral("two"));
        QCOMPARE(got.at(2).text(), QStringLiteral("QUIT :bye"));
        QCOMPARE(got.at(3).params.first(), QStringLiteral("ANNA"));
        QCOMPARE(got.at(3).text() + got.at(4).text(), longLine);
        for (const IrcChatter::Message& message : got)
            QVERIFY2(message.raw.size() + 2 <= 512, message.raw.constData());

        IrcChatter bob(QStringLiteral("BOB"));
        QVERIFY(bob.connectTo(ircd->port(), kChannel));
        QTRY_VERIFY(session.users().contains(QStringLiteral("BOB")));
        bob.sendRaw("NICK ROBERT");
        QTRY_COMPARE(renamed.size(), 1);
        QVERIFY(session.users().contains(QStringLiteral("ROBERT")));
        bob.quit();
        QTRY_COMPARE(left.size(), 1);
        QVERIFY(!session.users().contains(QStringLiteral("ROBERT")));

        // ANNA made the channel and so may kick us: we are back a moment later.
        QSignalSpy kicks(&session, &IrcSession::kicked);
        QSignalSpy states(&session, &IrcSession::stateChanged);
        anna.sendRaw("KICK #trivia TriviaBot :out");
        QTRY_COMPARE(kicks.size(), 1);
        QCOMPARE(kicks.first(),
                 (QVariantList{QStringLiteral("TriviaBot"), QStringLiteral("ANNA"), QStringLiteral("out")}));
        QTRY_COMPARE(session.state(), IrcSession::State::Joined);
        QCOMPARE(states.size(), 2);
        QVERIFY(session.users().contains(QStringLiteral("ANNA")));
    }

    // Someone holds our nick: we register as a stand-in and take the nick the moment it is free.
    void reclaimsATakenNick() {
        requireServer();
        IrcChatter holder(QStringLiteral("TriviaBot"));
        QVERIFY(holder.connectTo(ircd->port(), QString()));
        IrcSession session(configFor(ircd->port()));
        QSignalSpy inUse(&session, &IrcSession::nickInUse);
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 10000);
        QCOMPARE(session.nick(), QStringLiteral("TriviaBot_"));
        QCOMPARE(inUse.size(), 1);
        holder.quit();
        QTRY_COMPARE_WITH_TIMEOUT(session.nick(), QStringLiteral("TriviaBot"), 5000);

        // A nick longer than the server allows is cut, not taken: nothing to reclaim.
        IrcSession longer(configFor(ircd->port(), QStringLiteral("PalvuroTriviaHost")));
        QSignalSpy longerInUse(&longer, &IrcSession::nickInUse);
        longer.start();
        QTRY_COMPARE_WITH_TIMEOUT(longer.state(), IrcSession::State::Joined, 10000);
        QCOMPARE(longer.nick(), QStringLiteral("PalvuroTriviaHo"));
        QVERIFY(longerInUse.isEmpty());
    }

    // A killed server is noticed at once; nothing is sent late; the restarted one is rejoined
    // within seconds, where the session speaks again.
    void rejoinsARestartedServer() {
        requireServer();
        IrcSession session(configFor(ircd->port()));
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 10000);
        ircd->kill();
        QTRY_COMPARE(session.state(), IrcSession::State::Reconnecting);
        QVERIFY(!session.say(QStringLiteral("a stale question")));
        QVERIFY(ircd->start());
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 5000);
        QVERIFY(session.say(QStringLiteral("back")));
        QVERIFY(anna.waitFor(IrcChatter::privmsgFrom(QStringLiteral("TriviaBot"), QStringLiteral("back"))));
        QVERIFY(!anna.waitFor(
            IrcChatter::privmsgFrom(QStringLiteral("TriviaBot"), QStringLiteral("a stale question")), 0,
            100));
    }

    // TLS verifies the server: its own CA makes it trusted, without it the attempt fails loudly.
    void verifiesTheServersCertificate() {
        requireServer();
        IrcSessionConfig config = configFor(ircd->tlsPort());
        config.tls = true;
        {
            IrcSession untrusted(config);
            QSignalSpy failures(&untrusted, &IrcSession::failure);
            untrusted.start();
            QTRY_VERIFY(!failures.isEmpty());
            QVERIFY(failures.first().first().toString().contains(QStringLiteral("certificate")));
            QVERIFY(untrusted.state() != IrcSession::State::Joined);
        }
        config.extraCaFile = ircd->certificateFile();
        IrcSession trusted(config);
        trusted.start();
        QTRY_COMPARE_WITH_TIMEOUT(trusted.state(), IrcSession::State::Joined, 10000);
    }

    // A twelve-line list and the game's lines at once: all arrive, in order, and the server
    // neither throttles nor drops the client.
    void pacesPastTheFloodLimits() {
        requireServer();
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        IrcSession session(configFor(ircd->port()));
        QSignalSpy notices(&session, &IrcSession::notice);
        QSignalSpy states(&session, &IrcSession::stateChanged);
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 10000);
        states.clear();
        const int from = anna.receivedCount();
        QStringList list;
        for (int i = 1; i <= 12; ++i)
            list.append(QStringLiteral("%1. PLAYER%1 %2").arg(i).arg(100 - i));
        QVERIFY(session.sayTo(QStringLiteral("ANNA"), list.join(QStringLiteral("\r\n"))));
        for (int i = 0; i < 4; ++i)
            QVERIFY(session.say(QStringLiteral("question line %1").arg(i)));
        QTRY_COMPARE_WITH_TIMEOUT(anna.messagesFrom(QStringLiteral("TriviaBot"), from).size(), 16, 30000);
        QStringList toAnna;
        QStringList toChannel;
        for (const IrcChatter::Message& message : anna.messagesFrom(QStringLiteral("TriviaBot"), from))
            (message.params.first() == kChannel ? toChannel : toAnna).append(message.text());
        QCOMPARE(toAnna, list);
        QCOMPARE(toChannel.size(), 4);
        QVERIFY(states.isEmpty());
        for (const QList<QVariant>& notice : notices)
            QVERIFY2(!notice.at(1).toString().contains(QStringLiteral("throttled")),
                     qPrintable(notice.at(1).toString()));
    }

    // SASL PLAIN as the IRCv3 exchange prescribes, accepted or refused; a refusal is reported
    // without the password and the client still registers.
    void logsInWithSasl_data() {
        QTest::addColumn<QByteArray>("verdict");
        QTest::addColumn<bool>("refused");
        QTest::newRow("accepted") << QByteArray(
                                         ":srv 900 TriviaBot TriviaBot!u@h acct :You are now logged in\r\n"
                                         ":srv 903 TriviaBot :SASL authentication successful\r\n")
                                  << false;
        QTest::newRow("refused") << QByteArray(":srv 904 TriviaBot :SASL authentication failed\r\n") << true;
    }
    void logsInWithSasl() {
        QFETCH(QByteArray, verdict);
        QFETCH(bool, refused);
        ScriptedServer server;
        IrcSessionConfig config = configFor(server.server.serverPort());
        config.account = QStringLiteral("acct");
        config.password = "s3cret pass";
        IrcSession session(config);
        QSignalSpy failures(&session, &IrcSession::failure);
        session.start();
        QVERIFY(server.hears("USER palvuro 0 * :Palvuro Trivia"));
        QCOMPARE(server.heard.first(), QByteArray("CAP LS 302"));
        server.send(":srv CAP * LS * :multi-prefix sasl=PLAIN,EXTERNAL\r\n:srv CAP * LS :message-tags\r\n");
        QVERIFY(server.hears("CAP REQ :message-tags sasl"));
        server.send(":srv CAP * ACK :message-tags sasl\r\n");
        QVERIFY(server.hears("AUTHENTICATE PLAIN"));
        server.send("AUTHENTICATE +\r\n");
        QVERIFY(server.hears("AUTHENTICATE " + QByteArray("acct\0acct\0s3cret pass", 21).toBase64()));
        QVERIFY(!server.heard.contains("CAP END")); // registration waits for the verdict
        server.send(verdict);
        QVERIFY(server.hears("CAP END"));
        QCOMPARE(failures.size(), refused ? 1 : 0);
        for (const QList<QVariant>& failure : failures)
            QVERIFY(!failure.first().toString().contains(QStringLiteral("s3cret")));
        server.send(":srv 001 TriviaBot :Welcome TriviaBot!u@h\r\n");
        QVERIFY(server.hears("JOIN #trivia"));
    }

    // A server that goes silent is given up after our PING goes unanswered, and tried again.
    void noticesASilentServer() {
        ScriptedServer server;
        IrcSessionConfig config = configFor(server.server.serverPort());
        config.pingIdleMs = 500;
        IrcSession session(config);
        session.start();
        QVERIFY(server.hears("USER palvuro 0 * :Palvuro Trivia"));
        server.send(":srv 001 TriviaBot :Welcome\r\n:srv 451 * :ignored\r\n");
        QVERIFY(server.hears("PING palvuro", 3000));
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Reconnecting, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections, 2, 3000);
    }
};

QTEST_GUILESS_MAIN(TestIrcSession)
#include "tst_session.moc"
