#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"

#include <QtTest>

using namespace palvuro;

// palvuro-chat as a service manager runs it: no display, its connection's changes on stderr,
// and SIGTERM taking it out of the channel with a QUIT and status 0.
class TestClientSignals : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Joined, the QUIT reaches the channel with its words before the client ends; still
    // trying to connect, it ends all the same, having nothing to say.
    void sigtermLeavesWithQuit_data() {
        QTest::addColumn<bool>("joined");
        QTest::newRow("joined") << true;
        QTest::newRow("no server to join") << false;
    }
    void sigtermLeavesWithQuit() {
        QFETCH(bool, joined);
        IrcServer server;
        START_IRC_SERVER_OR_SKIP(server);
        IrcChatter anna("ANNA");
        QVERIFY(anna.connectTo(server.port(), "#trivia"));
        QTemporaryDir runtime;
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        // Nothing listens on port 1: the client keeps trying.
        const quint16 port = joined ? server.port() : quint16(1);
        client.start(qEnvironmentVariable("PALVURO_BIN_DIR") + "/palvuro-chat",
                     {QString("irc://127.0.0.1:%1/%23trivia").arg(port), "--nick", "TRIVIA"});
        QByteArray said;
        if (joined)
            QVERIFY(anna.waitFor(
                [](const IrcChatter::Message& m) { return m.command == "JOIN" && m.nick == "TRIVIA"; }));
        else
            QTRY_VERIFY((said += client.readAllStandardError()).contains("Reconnecting"));
        const int at = anna.receivedCount();
        client.terminate();
        QVERIFY(client.waitForFinished(10000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        if (joined) {
            // A QUIT the server read from us ("Quit: ...", its words withheld from so short a
            // stay), not a connection it saw lost ("Remote host closed the connection").
            const auto quit = anna.waitFor(
                [](const IrcChatter::Message& m) { return m.command == "QUIT" && m.nick == "TRIVIA"; }, at);
            QVERIFY(quit);
            QVERIFY2(quit->text().startsWith("Quit:"), qPrintable(quit->text()));
        }
    }
};

QTEST_GUILESS_MAIN(TestClientSignals)
#include "tst_clientsignals.moc"
