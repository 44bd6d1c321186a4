#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"

#include <QtTest>

using namespace palvuro;

// palvuro-chat as a service manager runs it: no display, its connection's changes on stderr,
// and SIGTERM taking it out of the channel with a QUIT and status 0.
class TestClientSignals : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sigtermLeavesWithQuit() {
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
        client.start(qEnvironmentVariable("PALVURO_BIN_DIR") + "/palvuro-chat",
                     {QString("irc://127.0.0.1:%1/%23trivia").arg(server.port()), "--nick", "TRIVIA"});
        QVERIFY(anna.waitFor(
            [](const IrcChatter::Message& m) { return m.command == "JOIN" && m.nick == "TRIVIA"; }));
        client.terminate();
        QVERIFY(client.waitForFinished(10000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        QVERIFY(anna.waitFor(
            [](const IrcChatter::Message& m) { return m.command == "QUIT" && m.nick == "TRIVIA"; }));
    }
};

QTEST_GUILESS_MAIN(TestClientSignals)
#include "tst_clientsignals.moc"
