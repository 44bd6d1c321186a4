// Logging in to a network's account, and following its call for TLS, against a real InspIRCd
// with real services (Anope).
#include "irc/IrcSession.h"
#include "irc/IrcStsPolicies.h"
#include "tests/support/AnopeServices.h"
#include "tests/support/InspIrcdServer.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/LineTap.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace palvuro;

namespace {

const QString kChannel = QStringLiteral("#trivia");
const QString kNick = QStringLiteral("TriviaBot");
const QByteArray kPassword = "correct horse";

bool isCommand(const IrcChatter::Message& m, const char* command) {
    return m.command == QLatin1String(command);
}

// The server's WHOIS replies about NICK, up to their end.
QList<IrcChatter::Message> whois(IrcChatter& asker, const QString& nick) {
    const int from = asker.receivedCount();
    asker.sendRaw("WHOIS " + nick.toUtf8());
    int end = -1;
    if (!asker.waitFor([](const IrcChatter::Message& m) { return isCommand(m, "318"); }, from, 10000, &end))
        return {};
    return asker.received().mid(from, end - from);
}

// Whom the server says NICK is logged in as; empty when nobody.
QString accountOf(IrcChatter& asker, const QString& nick) {
    for (const IrcChatter::Message& m : whois(asker, nick))
        if (isCommand(m, "330"))
            return m.params.value(2);
    return {};
}

} // namespace

class TestIrcAccounts : public QObject {
    Q_OBJECT

    std::unique_ptr<InspIrcdServer> ircd;
    std::unique_ptr<AnopeServices> services;
    QTemporaryDir dir;

    void startServer(int stsSeconds = 0) {
        if (const QString why = InspIrcdServer::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        ircd = std::make_unique<InspIrcdServer>();
        if (stsSeconds > 0)
            ircd->announceSts(stsSeconds);
        QVERIFY2(ircd->start(), qPrintable(ircd->error()));
    }

    // The server and its services, with the bot's account registered.
    void startServices(const QByteArray& fingerprint) {
        if (const QString why = AnopeServices::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        services = std::make_unique<AnopeServices>();
        services->addAccount(kNick, kPassword, fingerprint);
        QVERIFY2(services->start(*ircd), qPrintable(services->error()));
    }

    IrcSessionConfig tlsConfig(quint16 port) const {
        IrcSessionConfig config;
        config.host = QString::fromLatin1(ServerProcess::Host);
        config.port = port;
        config.tls = true;
        config.extraCaFile = ircd->certificateFile();
        config.channel = kChannel;
        config.nick = kNick;
        config.registerTimeoutMs = 15000;
        config.backoff = IrcBackoff::Limits{{200, 1000}, {200, 500}, {200, 1000}, {200, 1000}};
        return config;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void cleanup() {
        services.reset();
        ircd.reset();
    }

    // The account's password or its client certificate, over TLS, logs us in before we join:
    // a channel open to logged-in users only lets us in, and other users see the account on our
    // nick. A refused login ends the session with the server's reason after one attempt.
    void logsInToTheAccount_data() {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("certificate");   // "registered", "stranger" or none
        QTest::addColumn<QStringList>("stopsWith"); // parts of the reason; empty: joins, logged in
        const QString serverSays = QStringLiteral("SASL authentication failed");
        QTest::newRow("password") << kPassword << QString() << QStringList();
        QTest::newRow("certificate") << QByteArray() << QStringLiteral("registered") << QStringList();
        QTest::newRow("wrong password") << QByteArray("horse correct") << QString()
                                        << QStringList{serverSays, QStringLiteral("account TriviaBot")};
        QTest::newRow("unknown certificate") << QByteArray() << QStringLiteral("stranger")
                                             << QStringList{serverSays, QStringLiteral("stranger.pem")};
    }
    void logsInToTheAccount() {
        QFETCH(QByteArray, password);
        QFETCH(QString, certificate);
        QFETCH(QStringList, stopsWith);
        QString error;
        const QString registered = dir.filePath(QStringLiteral("registered.pem"));
        const QString stranger = dir.filePath(QStringLiteral("stranger.pem"));
        const QByteArray fingerprint = AnopeServices::makeClientCertificate(registered, &error);
        QVERIFY2(!fingerprint.isEmpty() && !AnopeServices::makeClientCertificate(stranger, &error).isEmpty(),
                 qPrintable(error));
        startServer();
        startServices(fingerprint);
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        anna.sendRaw("MODE #trivia +R");

        LineTap tap(ircd->tlsPort());
        IrcSessionConfig config = tlsConfig(tap.port());
        if (!password.isEmpty()) {
            config.account = kNick;
            config.password = password;
        }
        if (!certificate.isEmpty())
            config.clientCertFile = certificate == QLatin1String("registered") ? registered : stranger;
        IrcSession bot(config);
        QSignalSpy failures(&bot, &IrcSession::failure);
        QSignalSpy gaveUp(&bot, &IrcSession::gaveUp);
        bot.start();
        if (!stopsWith.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(gaveUp.size(), 1, 15000);
            const QString reason = gaveUp.first().first().toString();
            for (const QString& part : stopsWith)
                QVERIFY2(reason.contains(part), qPrintable(reason));
            QVERIFY(password.isEmpty() || !reason.contains(QString::fromUtf8(password)));
            QCOMPARE(bot.state(), IrcSession::State::Disconnected);
            QVERIFY(!QTest::qWaitFor([&] { return tap.connections() > 1; }, 1500));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(bot.state(), IrcSession::State::Joined, 15000);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.value(0).value(0).toString()));
        QCOMPARE(accountOf(anna, kNick), kNick);
        QCOMPARE(tap.connections(), 1);
    }

    // Services that are down are no reason to stop for good, nor to go on as a guest: we come
    // back, waiting longer each time, until they are there to log us in.
    void comesBackWhenServicesReturn() {
        startServer();
        IrcSessionConfig config = tlsConfig(ircd->tlsPort());
        config.account = kNick;
        config.password = kPassword;
        IrcSession bot(config);
        QSignalSpy failures(&bot, &IrcSession::failure);
        QSignalSpy gaveUp(&bot, &IrcSession::gaveUp);
        QSignalSpy reconnects(&bot, &IrcSession::reconnectIn);
        bot.start();
        QTRY_VERIFY_WITH_TIMEOUT(!reconnects.isEmpty(), 15000);
        QVERIFY(failures.first().first().toString().contains(QStringLiteral("no SASL login")));
        QVERIFY(gaveUp.isEmpty());
        QVERIFY(bot.state() != IrcSession::State::Joined);
        startServices({});
        QTRY_COMPARE_WITH_TIMEOUT(bot.state(), IrcSession::State::Joined, 15000);
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        QCOMPARE(accountOf(anna, kNick), kNick);
        QVERIFY(gaveUp.isEmpty());
    }

    // A server that asks for TLS over plain text is followed there, and its policy is kept, so
    // the next start goes straight to TLS, even where the plain port no longer answers.
    void followsAndRemembersTheTlsPolicy() {
        startServer(3600);
        IrcSessionConfig config = tlsConfig(ircd->port());
        config.host = QStringLiteral("localhost"); // a policy belongs to a name, never an address
        config.tls = false;
        config.stsPolicyFile = dir.filePath(QStringLiteral("sts.ini"));
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(ircd->port(), kChannel));
        {
            IrcSession bot(config);
            bot.start();
            QTRY_COMPARE_WITH_TIMEOUT(bot.state(), IrcSession::State::Joined, 15000);
            const QList<IrcChatter::Message> about = whois(anna, kNick);
            QVERIFY2(std::any_of(about.cbegin(), about.cend(),
                                 [](const IrcChatter::Message& m) { return isCommand(m, "671"); }),
                     anna.dump().constData()); // "is using a secure connection"
            QCOMPARE(IrcStsPolicies(config.stsPolicyFile).portFor(config.host),
                     std::optional(ircd->tlsPort()));
        }
        config.port = ServerProcess::freePort();
        IrcSession again(config);
        again.start();
        QTRY_COMPARE_WITH_TIMEOUT(again.state(), IrcSession::State::Joined, 15000);
    }
};

QTEST_GUILESS_MAIN(TestIrcAccounts)
#include "tst_accounts.moc"
