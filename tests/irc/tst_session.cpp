// The session against a real ircd-hybrid, talking with raw chatters, and against a scripted
// server where ircd-hybrid has nothing to offer (SASL, a server that stops answering).
#include "chatclient/IrcRoomLink.h"
#include "irc/IrcChannel.h"
#include "irc/IrcClock.h"
#include "irc/IrcSession.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/ServerProcess.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <functional>
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
    config.joinLimits.kickRejoinMs = 200;
    config.backoff = IrcBackoff::Limits{{200, 1000}, {200, 500}, {200, 1000}, {200, 1000}};
    return config;
}

// Accepts plain connections, or TLS ones with a certificate and its key.
class ListeningSocket : public QTcpServer {
public:
    QString certFile, keyFile;

protected:
    void incomingConnection(qintptr descriptor) override {
        if (certFile.isEmpty()) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(certFile);
        socket->setPrivateKey(keyFile);
        addPendingConnection(socket);
        socket->startServerEncryption();
    }
};

// One side of a strict conversation: each line the client must send, in order, and what the
// server answers to it; over TLS when given a folder with "cert.pem" and "key.pem". The
// session's config points at it, with time on a clock the test turns.
class ScriptedServer : public QObject {
public:
    explicit ScriptedServer(const QString& tlsFolder = {}) {
        if (!tlsFolder.isEmpty()) {
            server.certFile = tlsFolder + QStringLiteral("/cert.pem");
            server.keyFile = tlsFolder + QStringLiteral("/key.pem");
        }
        server.listen(QHostAddress::LocalHost);
        config = configFor(server.serverPort());
        config.clock = &clock;
        config.pingIdleMs = 3'600'000; // this server never answers a PING
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            client.reset(server.nextPendingConnection());
            ++connections;
            QObject::connect(client.get(), &QTcpSocket::readyRead, this, [this] {
                while (client->canReadLine()) {
                    heard.append(client->readLine().trimmed());
                    if (answer)
                        client->write(answer(heard.last()));
                }
            });
        });
    }
    void send(const QByteArray& lines) { client->write(lines); }
    bool hears(const QByteArray& line, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return heard.contains(line); }, timeoutMs);
    }
    bool registers() { return hears("USER palvuro 0 * :Palvuro Trivia"); }

    IrcClock clock;
    IrcSessionConfig config;
    ListeningSocket server;
    std::unique_ptr<QTcpSocket> client;
    QList<QByteArray> heard;
    int connections = 0;
    // What the server says to each line as it hears it, when the test leaves it to the server.
    std::function<QByteArray(const QByteArray&)> answer;
};

// Every message logged while it lives, debug lines included.
class LogCapture {
public:
    LogCapture() {
        QLoggingCategory::setFilterRules(QStringLiteral("palvuro.*.debug=true"));
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { lines() << message; });
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
        lines().clear();
    }
    static QStringList& lines() {
        static QStringList logged;
        return logged;
    }

private:
    QtMessageHandler previous_ = nullptr;
};

} // namespace

class TestIrcSession : public QObject {
    Q_OBJECT

    std::unique_ptr<IrcServer> ircd;
    QTemporaryDir tls; // the scripted server's certificate, made once

    void requireServer() {
        ircd = std::make_unique<IrcServer>();
        START_IRC_SERVER_OR_SKIP(*ircd);
    }

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(tls.isValid() &&
                     ServerProcess::makeCertificate(tls.filePath(QStringLiteral("cert.pem")),
                                                    tls.filePath(QStringLiteral("key.pem")), &error),
                 qPrintable(error));
    }
    void cleanup() { ircd.reset(); }

    // What the room says reaches the chatters exactly, long lines cut to fit, no second target
    // injected; a renamed chatter is followed. (What chatters say, plain and hostile: the game's
    // suite; an action, a private line, a chatter who leaves and a text of several lines: the
    // room link's suite; a kick and the JOIN after it: the JOINs on the wire below.)
    void talksWithTheChannel() {
        requireServer();
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        IrcSession session(configFor(ircd->port()));
        QSignalSpy renamed(&session.channel(), &IrcChannel::nickChanged);
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 10000);
        QCOMPARE(session.nick(), QStringLiteral("TriviaBot"));
        QVERIFY(session.users().contains(QStringLiteral("ANNA")));

        const int from = anna.receivedCount();
        QVERIFY(!session.sayTo(QStringLiteral("ANNA\r\nQUIT"), QStringLiteral("x")));
        const QString longLine = QStringLiteral("é").repeated(300) + QStringLiteral("🎲").repeated(60);
        QVERIFY(session.sayTo(QStringLiteral("ANNA"), longLine));
        QTRY_COMPARE_WITH_TIMEOUT(anna.messagesFrom(QStringLiteral("TriviaBot"), from).size(), 2, 10000);
        const QList<IrcChatter::Message> got = anna.messagesFrom(QStringLiteral("TriviaBot"), from);
        QCOMPARE(got.at(0).params.first(), QStringLiteral("ANNA"));
        QCOMPARE(got.at(0).text() + got.at(1).text(), longLine);
        for (const IrcChatter::Message& message : got)
            QVERIFY2(message.raw.size() + 2 <= 512, message.raw.constData());

        IrcChatter bob(QStringLiteral("BOB"));
        QVERIFY(bob.connectTo(ircd->port(), kChannel));
        QTRY_VERIFY(session.users().contains(QStringLiteral("BOB")));
        bob.sendRaw("NICK ROBERT");
        QTRY_COMPARE(renamed.size(), 1);
        QVERIFY(session.users().contains(QStringLiteral("ROBERT")));
        QVERIFY(!session.users().contains(QStringLiteral("BOB")));
    }

    // ircd-hybrid compares names by ASCII alone: Bot{x} is someone else beside our Bot[x], who
    // comes, is kicked and goes without the session taking any of it for itself.
    void tellsNamesApartByTheServersCaseMapping() {
        requireServer();
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        IrcSession session(configFor(ircd->port(), QStringLiteral("Bot[x]")));
        QSignalSpy kicks(&session.channel(), &IrcChannel::kicked);
        QSignalSpy said(&session, &IrcSession::channelMessage);
        QSignalSpy states(&session, &IrcSession::stateChanged);
        session.start();
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), IrcSession::State::Joined, 10000);
        states.clear();
        IrcChatter braces(QStringLiteral("Bot{x}"));
        QVERIFY(braces.connectTo(ircd->port(), kChannel));
        QTRY_VERIFY(session.users().contains(QStringLiteral("Bot{x}")));
        braces.sendRaw("PRIVMSG #trivia :Paris");
        QTRY_COMPARE(said.size(), 1);
        QCOMPARE(said.first().first().toString(), QStringLiteral("Bot{x}"));
        anna.sendRaw("KICK #trivia Bot{x} :not you");
        QTRY_COMPARE(kicks.size(), 1);
        QTRY_VERIFY(!session.users().contains(QStringLiteral("Bot{x}")));
        QVERIFY(states.isEmpty());
        QCOMPARE(session.nick(), QStringLiteral("Bot[x]"));
    }

    // Five minutes of a server that keeps saying no, on a turned clock: the JOINs on the wire
    // stay within what the backoff allows, for the refusals a real InspIRCd does not make (its
    // own are counted in the join refusals' suite), and the last refusal is reported with its
    // wait. A kick: each JOIN is let in and kicked at once, and the third kick keeps us out for
    // half an hour; a ban set on us before the kick: not one JOIN into it.
    void joinsOnTheWireStayWithinTheBackoff_data() {
        QTest::addColumn<QByteArray>("answer"); // to each JOIN
        QTest::addColumn<int>("joins");
        QTest::addColumn<QString>("reason"); // the last one reported, and its wait
        QTest::addColumn<int>("seconds");
        const QByteArray in = ":TriviaBot!u@h JOIN #trivia\r\n";
        const QByteArray kick = ":ANNA!a@h KICK #trivia TriviaBot :out\r\n";
        QTest::newRow("full: 0, 30, 90, 210 s") << QByteArray(":srv 471 TriviaBot #trivia :Full (+l)\r\n")
                                                << 4 << QStringLiteral("Full (+l)") << 240;
        QTest::newRow("throttled") << QByteArray(":srv 480 TriviaBot #trivia :Throttled (+j)\r\n") << 4
                                   << QStringLiteral("Throttled (+j)") << 240;
        QTest::newRow("kicked while banned")
            << in + ":ANNA!a@h MODE #trivia +bv *!u@h TriviaBot\r\n" + kick << 1
            << QStringLiteral("kicked by ANNA (out) and banned") << 30 * 60;
        QTest::newRow("kicked, the ban lifted first")
            << in + ":ANNA!a@h MODE #trivia +b-b *!*@h *!*@H\r\n" + kick << 3
            << QStringLiteral("kicked by ANNA (out)") << 30 * 60;
    }
    void joinsOnTheWireStayWithinTheBackoff() {
        QFETCH(QByteArray, answer);
        QFETCH(int, joins);
        QFETCH(QString, reason);
        QFETCH(int, seconds);
        ScriptedServer server;
        server.config.joinLimits = {};
        server.answer = [&](const QByteArray& line) {
            if (line.startsWith("USER "))
                return QByteArray(":srv 001 TriviaBot :Welcome\r\n");
            return line == "JOIN #trivia" ? answer : QByteArray();
        };
        IrcSession session(server.config);
        QSignalSpy outside(&session, &IrcSession::outsideChannel);
        session.start();
        QVERIFY(server.hears("JOIN #trivia"));
        for (int second = 0; second < 5 * 60; ++second) {
            server.clock.advance(1000);
            QTest::qWait(2);
        }
        QCOMPARE(server.heard.count("JOIN #trivia"), joins);
        QCOMPARE(outside.last(), (QVariantList{reason, seconds}));
    }

    // A private line refused for too many new targets is reported and holds texts to other new
    // nicks for the time the server names; the channel and known nicks are still served.
    void targetChangeRefusalHoldsNewNicks() {
        ScriptedServer server;
        server.answer = [](const QByteArray& line) {
            if (line.startsWith("USER "))
                return QByteArray(":srv 001 TriviaBot :Welcome\r\n");
            if (line == "JOIN #trivia")
                return QByteArray(":TriviaBot!u@h JOIN #trivia\r\n");
            if (line.startsWith("PRIVMSG BOB "))
                return QByteArray(":srv 707 TriviaBot BOB :Targets changing too fast, wait 30 seconds\r\n");
            return QByteArray();
        };
        IrcSession session(server.config);
        QSignalSpy undelivered(&session, &IrcSession::undelivered);
        session.start();
        QTRY_COMPARE(session.state(), IrcSession::State::Joined);
        QVERIFY(session.sayTo(QStringLiteral("ANNA"), QStringLiteral("your score")));
        QVERIFY(session.sayTo(QStringLiteral("BOB"), QStringLiteral("top ten")));
        QTRY_COMPARE(undelivered.size(), 1);
        QCOMPARE(undelivered.first(), (QVariantList{QStringLiteral("BOB"), QStringLiteral("top ten")}));
        for (const char* held : {"CAT", "BOB"})
            QVERIFY(!session.sayTo(QLatin1String(held), QStringLiteral("held")));
        QVERIFY(session.sayTo(QStringLiteral("anna"), QStringLiteral("known")));
        QVERIFY(session.say(QStringLiteral("the game")));
        server.clock.advance(30'000);
        QVERIFY(session.sayTo(QStringLiteral("CAT"), QStringLiteral("your turn")));
        QVERIFY(server.hears("PRIVMSG CAT :your turn"));
        QCOMPARE(server.heard.count("JOIN #trivia"), 1);
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

    // TLS verifies the server: without its CA the attempt fails loudly (with it, the room link's
    // suite joins over TLS).
    void verifiesTheServersCertificate() {
        requireServer();
        IrcSessionConfig config = configFor(ircd->tlsPort());
        config.tls = true;
        IrcSession untrusted(config);
        QSignalSpy failures(&untrusted, &IrcSession::failure);
        untrusted.start();
        QTRY_VERIFY(!failures.isEmpty());
        QVERIFY(failures.first().first().toString().contains(QStringLiteral("certificate")));
        QVERIFY(untrusted.state() != IrcSession::State::Joined);
    }

    // Registration as a bouncer and SASL expect it: PASS before NICK, one capability a line (a
    // refused one costs nothing else), the account's verdict awaited; a refused login lets us in
    // as a guest when allowed (it ends the session otherwise: the accounts' suite), and the
    // password is never shown; CAP NEW and DEL are followed.
    // Over plain text the session stops before it connects: the password never crosses it.
    void logsInWithSasl_data() {
        QTest::addColumn<QByteArray>("verdict");
        QTest::addColumn<bool>("allowGuest");
        QTest::newRow("accepted") << QByteArray(
                                         ":srv 900 TriviaBot TriviaBot!u@h acct :You are now logged in\r\n"
                                         ":srv 903 TriviaBot :SASL authentication successful\r\n")
                                  << false;
        QTest::newRow("refused, guests allowed")
            << QByteArray(":srv 904 TriviaBot :Bad account or password\r\n") << true;
        QTest::newRow("plain text") << QByteArray() << true;
    }
    void logsInWithSasl() {
        QFETCH(QByteArray, verdict);
        QFETCH(bool, allowGuest);
        const LogCapture log;
        const bool plainText = verdict.isEmpty();
        ScriptedServer server(plainText ? QString() : tls.path());
        IrcSessionConfig& config = server.config;
        config.tls = !plainText;
        config.extraCaFile = tls.filePath(QStringLiteral("cert.pem"));
        config.account = QStringLiteral("acct");
        config.password = "s3cret pass";
        config.serverPassword = "bouncer pass";
        config.channelKey = "k3y";
        config.allowUnauthenticated = allowGuest;
        IrcSession session(config);
        QSignalSpy failures(&session, &IrcSession::failure);
        QSignalSpy gaveUp(&session, &IrcSession::gaveUp);
        session.start();
        if (plainText) {
            QCOMPARE(gaveUp.size(), 1);
            QVERIFY(gaveUp.first().first().toString().contains(QStringLiteral("in plain text")));
            QVERIFY(!QTest::qWaitFor([&] { return server.connections > 0; }, 300));
            return;
        }
        QVERIFY(server.registers());
        QCOMPARE(server.heard.mid(0, 3),
                 (QList<QByteArray>{"CAP LS 302", "PASS :bouncer pass", "NICK TriviaBot"}));
        server.send(":srv CAP * LS * :multi-prefix sasl=PLAIN,EXTERNAL\r\n:srv CAP * LS :message-tags\r\n");
        QVERIFY(server.hears("CAP REQ sasl"));
        QVERIFY(server.hears("CAP REQ message-tags"));
        server.send(":srv CAP * NAK :message-tags\r\n:srv CAP * ACK :sasl\r\n");
        QVERIFY(server.hears("AUTHENTICATE PLAIN"));
        server.send("AUTHENTICATE +\r\n");
        QVERIFY(server.hears("AUTHENTICATE " + QByteArray("acct\0acct\0s3cret pass", 21).toBase64()));
        QVERIFY(!server.heard.contains("CAP END")); // registration waits for the verdict
        server.send(verdict);
        QVERIFY(server.hears("CAP END"));
        QCOMPARE(failures.size(), allowGuest ? 1 : 0);
        for (const QList<QVariant>& said : failures)
            QVERIFY(!said.first().toString().contains(QStringLiteral("s3cret")));
        server.send(":srv 001 TriviaBot :Welcome TriviaBot!u@h\r\n");
        QVERIFY(server.hears("JOIN #trivia k3y"));
        const QString logged = LogCapture::lines().join(QLatin1Char('\n'));
        QVERIFY2(logged.contains(QStringLiteral("JOIN #trivia")), qPrintable(logged));
        for (const char* secret : {"s3cret", "bouncer", "k3y", "YWNjdABhY2N0AHMzY3JldCBwYXNz"})
            QVERIFY2(!logged.contains(QLatin1String(secret)), secret);

        // Capabilities the server adds later are asked for, one withdrawn can come back, and a
        // login offered once we are in starts no second one.
        const auto requests = [&] { return server.heard.count("CAP REQ message-tags"); };
        server.send(":srv CAP TriviaBot NEW :message-tags sasl\r\n");
        QTRY_COMPARE(requests(), 2);
        server.send(":srv CAP TriviaBot ACK :message-tags\r\n:srv CAP TriviaBot DEL :message-tags\r\n"
                    ":srv CAP TriviaBot NEW :message-tags\r\n");
        QTRY_COMPARE(requests(), 3);
        QCOMPARE(server.heard.count("CAP REQ sasl"), 1);
        QCOMPARE(server.heard.count("AUTHENTICATE PLAIN"), 1);
    }

    // Lag is no reason to leave: no PING while registering (which has two minutes), ours only
    // after 90 s of silence, its lag reported while it waits and when it is answered, and shown
    // once it passes 10 s; a server silent for 240 s is given up.
    void survivesLagAndNoticesADeadServer() {
        ScriptedServer server;
        IrcClock& clock = server.clock;
        IrcSessionConfig& config = server.config;
        const IrcSessionConfig defaults;
        config.pingIdleMs = defaults.pingIdleMs;
        config.pingTimeoutMs = defaults.pingTimeoutMs;
        config.registerTimeoutMs = defaults.registerTimeoutMs;
        IrcSession session(config);
        FakeDesktop desk(config.nick, 0);
        const IrcRoomLink link(desk.room(), session, config);
        QSignalSpy lag(&session, &IrcSession::lagMeasured);
        session.start();
        QVERIFY(server.registers());
        clock.advance(119'000);
        QVERIFY(!server.hears("PING palvuro", 200));
        server.send(":srv 001 TriviaBot :Welcome\r\n:TriviaBot!u@h JOIN #trivia\r\n");
        QTRY_COMPARE(session.state(), IrcSession::State::Joined);

        clock.advance(60'000);
        QVERIFY(!server.hears("PING palvuro", 200));
        clock.advance(30'000);
        QVERIFY(server.hears("PING palvuro"));
        clock.advance(25'000);
        QCOMPARE(lag.size(), 2); // 10 s and 20 s of waiting
        QCOMPARE(lag.last().first().toLongLong(), 20'000);
        QCOMPARE(link.status(), QStringLiteral("Joined #trivia as TriviaBot (lag 20 s)"));
        server.send(":srv PONG srv :palvuro\r\n");
        QTRY_COMPARE(lag.size(), 3);
        QCOMPARE(lag.last().first().toLongLong(), 25'000);

        server.heard.clear();
        clock.advance(239'000);
        QVERIFY(server.hears("PING palvuro"));
        QCOMPARE(session.state(), IrcSession::State::Joined);
        clock.advance(1'000);
        QCOMPARE(session.state(), IrcSession::State::Reconnecting);
        QCOMPARE(server.connections, 1);
    }

    // A server that refuses us is not asked again soon: a ban waits a minute and doubles up to 30,
    // a refused connection backs off up to 5 minutes; the waits start over only after 10 minutes
    // in the channel, and the server's words reach the status line and the transcript.
    void backsOffWhenRefused() {
        ScriptedServer server;
        IrcClock& clock = server.clock;
        IrcSessionConfig& config = server.config;
        config.backoff = {};
        IrcSession session(config);
        FakeDesktop desk(config.nick, 0);
        const IrcRoomLink link(desk.room(), session, config);
        QSignalSpy notices(&link, &IrcRoomLink::noticeReceived);
        QSignalSpy refused(&session, &IrcSession::refused);
        QSignalSpy reconnect(&session, &IrcSession::reconnectIn);
        const auto register_ = [&] {
            QVERIFY(server.registers());
            server.heard.clear();
        };
        session.start();
        register_();
        server.send(":srv 465 TriviaBot :You are banned from this server- spamming\r\n"
                    "ERROR :Closing Link: 127.0.0.1 (K-Lined)\r\n");
        server.client->disconnectFromHost();
        QTRY_COMPARE(reconnect.size(), 1);
        QCOMPARE(reconnect.last().first().toInt(), 60);
        QCOMPARE(refused.size(), 2);
        QVERIFY(refused.first().first().toString().contains(QStringLiteral("spamming")));
        QCOMPARE(link.status(),
                 QStringLiteral(
                     "Refused by the server (Closing Link: 127.0.0.1 (K-Lined)); reconnecting in 60 s"));
        QCOMPARE(notices.first().at(1).toString(),
                 QStringLiteral("Refused by the server: You are banned from this server- spamming"));
        clock.advance(59'000);
        QVERIFY(!QTest::qWaitFor([&] { return server.connections > 1; }, 200));
        clock.advance(1'000);
        QTRY_COMPARE(server.connections, 2);
        register_();
        server.send("ERROR :Closing Link: 127.0.0.1 (Banned)\r\n:srv 465 TriviaBot :banned\r\n");
        server.client->disconnectFromHost();
        QTRY_COMPARE(reconnect.size(), 2);
        QCOMPARE(reconnect.last().first().toInt(), 120);

        // Nobody listens any more: the waits grow to five minutes and stay there.
        const quint16 port = server.server.serverPort();
        server.server.close();
        for (int i = 0; i < 12; ++i) {
            clock.advance(reconnect.last().first().toInt() * 1000);
            QTRY_COMPARE(reconnect.size(), 3 + i);
            QVERIFY(reconnect.last().first().toInt() <= 300);
        }
        QCOMPARE(reconnect.last().first().toInt(), 300);

        // Joined, then lost after a while: the waits have not started over; after ten minutes
        // joined they have.
        QVERIFY(server.server.listen(QHostAddress::LocalHost, port));
        for (const int joinedMs : {5 * 60'000, 10 * 60'000}) {
            const int attempts = server.connections;
            clock.advance(reconnect.last().first().toInt() * 1000);
            QTRY_COMPARE(server.connections, attempts + 1);
            register_();
            server.send(":srv 001 TriviaBot :Welcome\r\n:TriviaBot!u@h JOIN #trivia\r\n");
            QTRY_COMPARE(session.state(), IrcSession::State::Joined);
            clock.advance(joinedMs);
            server.client->disconnectFromHost();
            QTRY_COMPARE(session.state(), IrcSession::State::Reconnecting);
        }
        QCOMPARE(reconnect.at(reconnect.size() - 2).first().toInt(), 60);
        QCOMPARE(reconnect.last().first().toInt(), 1);
    }

    // A nick the server cannot take stops us with its reason; a taken one, or one services take
    // from us, is asked for again once per retry period.
    void keepsOrGivesUpItsNick() {
        ScriptedServer server;
        IrcClock& clock = server.clock;
        IrcSessionConfig& config = server.config;
        config.nick = QStringLiteral("Trivia*Bot");
        config.nickRetryMs = 30'000;
        {
            IrcSession invalid(config);
            QSignalSpy gaveUp(&invalid, &IrcSession::gaveUp);
            invalid.start();
            QVERIFY(server.registers());
            server.send(":srv 432 * Trivia*Bot :Erroneous Nickname\r\n");
            QTRY_COMPARE(gaveUp.size(), 1);
            QVERIFY(gaveUp.first().first().toString().contains(QStringLiteral("Erroneous Nickname")));
            QCOMPARE(invalid.state(), IrcSession::State::Disconnected);
            clock.advance(3'600'000);
            QVERIFY(!QTest::qWaitFor([&] { return server.connections > 1; }, 200));
        }
        config.nick = QStringLiteral("TriviaBot");
        IrcSession session(config);
        QSignalSpy inUse(&session, &IrcSession::nickInUse);
        server.heard.clear();
        session.start();
        QVERIFY(server.registers());
        QCOMPARE(server.connections, 2);
        server.send(":srv 001 TriviaBot :Welcome\r\n:TriviaBot!u@h JOIN #trivia\r\n"
                    ":NickServ!s@services NOTICE TriviaBot :This nick is registered\r\n"
                    ":TriviaBot!u@h NICK Guest4242\r\n");
        QTRY_COMPARE(session.nick(), QStringLiteral("Guest4242"));
        QCOMPARE(inUse.size(), 1);
        const auto nickRequests = [&] { return server.heard.count("NICK TriviaBot"); };
        const int before = nickRequests();
        for (int retry = 1; retry <= 3; ++retry) {
            clock.advance(30'000);
            QVERIFY(QTest::qWaitFor([&] { return nickRequests() == before + retry; }, 5000));
            server.send(":srv 433 Guest4242 TriviaBot :Nickname is already in use\r\n");
            QVERIFY(!QTest::qWaitFor([&] { return nickRequests() > before + retry; }, 200));
        }
        server.send(":Guest4242!u@h NICK TriviaBot\r\n");
        QTRY_COMPARE(session.nick(), QStringLiteral("TriviaBot"));
        clock.advance(120'000);
        QVERIFY(!QTest::qWaitFor([&] { return nickRequests() > before + 3; }, 200));
    }
};

QTEST_GUILESS_MAIN(TestIrcSession)
#include "tst_session.moc"
