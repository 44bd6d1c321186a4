#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"

#include <QSslSocket>
#include <QtTest>

using namespace palvuro;

// The IRC suites lean on three properties of their server: it keeps a real server's flood
// limits (or the client's pacing would pass untested), it comes back on the same ports after a
// crash, and its TLS port is trusted through its own certificate alone.
class TestTestServer : public QObject {
    Q_OBJECT
    IrcServer server_;

private Q_SLOTS:
    void initTestCase() {
        const QString why = IrcServer::cannotRun();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY2(server_.start(), qPrintable(server_.error()));
    }

    void floodingChatterIsCutOffWhileOthersTalk() {
        IrcChatter anna(QStringLiteral("ANNA")), bob(QStringLiteral("BOB")), flood(QStringLiteral("FLOOD"));
        for (IrcChatter* c : {&anna, &bob, &flood})
            QVERIFY(c->connectTo(server_.port(), QStringLiteral("#trivia")));
        anna.say(QStringLiteral("#trivia"), QStringLiteral("hello"));
        QVERIFY2(bob.waitFor(IrcChatter::privmsgFrom(QStringLiteral("ANNA"), QStringLiteral("hello"))),
                 bob.dump());

        QByteArray burst;
        for (int i = 0; i < 200; ++i)
            burst += "PRIVMSG #trivia :flood line " + QByteArray::number(i) + "\r\n";
        flood.sendRaw(burst.chopped(2));
        QTRY_VERIFY_WITH_TIMEOUT(!flood.isConnected(), 15000);
        QVERIFY2(bob.messagesFrom(QStringLiteral("FLOOD")).size() < 200, bob.dump());
    }

    void restartedServerTakesTheSamePorts() {
        IrcChatter anna(QStringLiteral("ANNA"));
        QVERIFY(anna.connectTo(server_.port(), QStringLiteral("#trivia")));
        server_.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!anna.isConnected(), 10000);
        QVERIFY2(server_.start(), qPrintable(server_.error()));
        QVERIFY(anna.connectTo(server_.port(), QStringLiteral("#trivia")));
    }

    void tlsPortIsTrustedThroughItsCertificateOnly() {
        for (const bool trusted : {false, true}) {
            QSslSocket socket;
            if (trusted) {
                QSslConfiguration config = socket.sslConfiguration();
                config.addCaCertificates(server_.certificateFile());
                socket.setSslConfiguration(config);
            }
            socket.connectToHostEncrypted(QString::fromLatin1(IrcServer::Host), server_.tlsPort());
            QCOMPARE(socket.waitForEncrypted(10000), trusted);
        }
    }
};

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_testserver.moc"
