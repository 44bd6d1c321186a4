#include "host/BotSettings.h"
#include "host/HostOptions.h"
#include "host/HostStatus.h"
#include "host/RestartBackoff.h"
#include "host/StatusTracker.h"

#include <QtTest>

using namespace palvuro;

// The supervisor's rules without the programs it runs: its options and config, the restart
// waits, what it learns from the children's lines, its status file and the bot's own settings.
// Its children's restarts, each with its reason, are the end-to-end host suite's faults.
class TestHost : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& text) {
        QFile file(dir_.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.filePath("userconfig").toUtf8());
        qunsetenv("PALVURO_IRC_PASSWORD");
        qunsetenv("CREDENTIALS_DIRECTORY");
    }

    void optionsComeFromTheConfigAndTheCommandLine_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("client"); // empty: refused
        QTest::addColumn<QString>("settings");   // "answer/pause/give", or the error's start
        const QString url = "irc://127.0.0.1:6667/%23trivia";
        QTest::newRow("config alone")
            << QByteArray("url=irc://127.0.0.1:6667/%23trivia\nnick=Bot\nanswer-time=30\n"
                          "give-answer=yes\nwrap=0\nallow-unauthenticated=no\n")
            << QStringList{} << QStringList{url, "--nick", "Bot", "--wrap", "0"} << "30//1";
        QTest::newRow("command line wins")
            << QByteArray("url=irc://127.0.0.1:6667/%23trivia\nnick=Bot\nquestion-pause=20\n")
            << QStringList{"--nick", "Other", "--question-pause", "25"} << QStringList{url, "--nick", "Other"}
            << "/25/";
        QTest::newRow("no config") << QByteArray()
                                   << QStringList{url, "--nick", "Bot", "--give-answer", "off"}
                                   << QStringList{url, "--nick", "Bot"} << "//0";
        QTest::newRow("password in the config")
            << QByteArray("url=irc://h/%23t\nnick=Bot\npassword=secret\n") << QStringList{} << QStringList{}
            << "a password does not belong";
        QTest::newRow("unknown key") << QByteArray("url=irc://h/%23t\nnick=Bot\nnick-name=x\n")
                                     << QStringList{} << QStringList{} << "unknown key";
        QTest::newRow("answer time out of range")
            << QByteArray() << QStringList{url, "--nick", "Bot", "--answer-time", "121"} << QStringList{}
            << "answer-time is a number";
        QTest::newRow("switch not yes or no")
            << QByteArray() << QStringList{url, "--nick", "B", "--give-answer", "maybe"} << QStringList{}
            << "give-answer is yes or no";
        QTest::newRow("no nick") << QByteArray() << QStringList{url} << QStringList{} << "a URL and a --nick";
        QTest::newRow("negative time") << QByteArray("url=irc://h/%23t\nnick=Bot\nanswer-time=-5\n")
                                       << QStringList{} << QStringList{} << "answer-time is a number";
        QTest::newRow("config is a folder") << QByteArray() << QStringList{"--config", QDir::tempPath()}
                                            << QStringList{} << "cannot read the config";
        QTest::newRow("database password on the command line")
            << QByteArray() << QStringList{url, "--nick", "B", "--database", "postgresql://a:pw@h/league"}
            << QStringList{} << "no password";
        // Every option of palvuro-chat's, from either place, reaches it as palvuro-chat spells it;
        // the secrets as the files that hold them.
        const QStringList every = QString("--transcript @ --wrap 0 --keep-lines 1000 --account acc "
                                          "--password-file @ --server-password-file @ --channel-key-file @ "
                                          "--tls-ca @ --tls-cert @ --allow-unauthenticated")
                                      .split(' ');
        QTest::newRow("every client option in the config")
            << QByteArray(
                   "url=ircs://h/%23t\nnick=B\ntranscript=@\nwrap=0\nkeep-lines=1000\naccount=acc\n"
                   "password-file=@\nserver-password-file=@\nchannel-key-file=@\ntls-ca=@\ntls-cert=@\n"
                   "allow-unauthenticated=yes\n")
            << QStringList{} << QStringList{"ircs://h/%23t", "--nick", "B"} + every << "//";
        QTest::newRow("every client option on the command line")
            << QByteArray() << QStringList{"ircs://h/%23t", "--nick", "B"} + every
            << QStringList{"ircs://h/%23t", "--nick", "B"} + every << "//";
        QTest::newRow("switch off in the config, on on the command line")
            << QByteArray("url=irc://127.0.0.1:6667/%23trivia\nnick=Bot\nallow-unauthenticated=off\n")
            << QStringList{"--allow-unauthenticated"}
            << QStringList{url, "--nick", "Bot", "--allow-unauthenticated"} << "//";
        QTest::newRow("switch neither on nor off")
            << QByteArray("url=irc://h/%23t\nnick=B\nallow-unauthenticated=maybe\n") << QStringList{}
            << QStringList{} << "allow-unauthenticated is yes or no";
        // The client's own rules decide whether the host may start it.
        QTest::newRow("window limit palvuro-chat refuses")
            << QByteArray("url=irc://h/%23t\nnick=B\nkeep-lines=50\n") << QStringList{} << QStringList{}
            << "--keep-lines needs 0 or a whole number";
    }
    void optionsComeFromTheConfigAndTheCommandLine() {
        QFETCH(QByteArray, config);
        QFETCH(QStringList, args);
        QFETCH(QStringList, client);
        QFETCH(QString, settings);
        const QString secret = write("secret", "s3cret\n");
        config.replace("=@", "=" + secret.toUtf8());
        for (QStringList* list : {&args, &client})
            list->replaceInStrings(QRegularExpression("^@$"), secret);
        QStringList arguments{"palvuro-host", "--folder", dir_.filePath("data")};
        if (!config.isEmpty())
            arguments << "--config" << write("host.conf", config);
        HostOptions options;
        QString error, usage;
        const bool ok = HostOptions::parse(arguments + args, &options, &error, &usage);
        if (client.isEmpty()) {
            QVERIFY2(!ok, qPrintable(options.clientArguments().join(' ')));
            QVERIFY2(error.contains(settings), qPrintable(error));
            return;
        }
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(options.clientArguments(), client);
        QCOMPARE(options.botArguments(),
                 (QStringList{"--connect", client.at(2), "--folder", dir_.filePath("data")}));
        QCOMPARE(QStringList({options.settings.value(HostOptions::AnswerTime),
                              options.settings.value(HostOptions::QuestionPause),
                              options.settings.value(HostOptions::GiveAnswer)})
                     .join('/'),
                 settings);
    }

    // A unit's credential is the password when nothing else gives one; it is never read here.
    void accountPasswordComesFromTheCredential() {
        write("password", "secret\n");
        qputenv("CREDENTIALS_DIRECTORY", dir_.path().toUtf8());
        HostOptions options;
        QString error, usage;
        const bool ok = HostOptions::parse(
            {"palvuro-host", "ircs://h/%23t", "--nick", "B", "--account", "acc"}, &options, &error, &usage);
        qunsetenv("CREDENTIALS_DIRECTORY");
        QVERIFY2(ok, qPrintable(error));
        QVERIFY(options.clientArguments().contains(dir_.filePath("password")));
        QVERIFY(!options.clientArguments().join(' ').contains("secret"));
    }

    void restartWaitsDoubleAndRecover() {
        RestartBackoff backoff;
        backoff.started(0);
        QList<int> waits;
        for (int i = 0; i < 8; ++i)
            waits << backoff.failed(i * 100);
        QCOMPARE(waits, (QList<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}));
        backoff.started(1000);
        QCOMPARE(backoff.failed(1000 + RestartBackoff::HealthyMs - 1), 60000);
        backoff.started(2000000);
        QCOMPARE(backoff.failed(2000000 + RestartBackoff::HealthyMs), 1000);
        QCOMPARE(backoff.failed(2000000 + RestartBackoff::HealthyMs + 5), 2000);
    }

    void statusFollowsTheClientsLines() {
        StatusTracker tracker;
        const HostStatus& s = tracker.status();
        QCOMPARE(tracker.clientLine("palvuro-chat: status: Connecting to 127.0.0.1:6667"),
                 QString("connecting to 127.0.0.1:6667"));
        QCOMPARE(s.state, QString("connecting"));
        QVERIFY(tracker.clientLine("QSslSocket: some warning of Qt").isNull());
        QVERIFY(!tracker.clientLine("palvuro-chat: failure: the server closed the connection").isNull());
        QCOMPARE(tracker.clientLine("palvuro-chat: status: Reconnecting in 4 s"),
                 QString("reconnecting in 4 s: the server closed the connection"));
        QCOMPARE(tracker.clientLine("palvuro-chat: status: Nick Bot in use, Bot_ until it is free"),
                 QString("nick Bot in use, playing as Bot_"));
        QCOMPARE(tracker.clientLine("palvuro-chat: status: Joined #trivia as Bot_"),
                 QString("joined #trivia as Bot_"));
        QCOMPARE(s.state, QString("joined"));
        QCOMPARE(s.nick, QString("Bot_"));
        QVERIFY(!s.healthy());
        QCOMPARE(tracker.botLine("palvuro.chat: connected to the chat client as \"TRIVIA\""),
                 QString("bot connected to the client"));
        QVERIFY(s.healthy());
        QCOMPARE(tracker.botLine("palvuro.chat: game started by \"ANNA\" in \"HISTORY\""),
                 QString("game started by ANNA, category HISTORY"));
        QVERIFY(s.gameRunning);
        QVERIFY(tracker.botLine("palvuro.chat: game ended by \"ANNA\"").startsWith("game ended"));
        QVERIFY(!s.gameRunning);
        QCOMPARE(tracker.botLine("palvuro.chat: disconnected from the chat client: its windows are gone"),
                 QString("bot lost the client"));
        QVERIFY(!s.healthy());
        tracker.clientGone("killed by signal 9 (Killed)");
        QCOMPARE(s.state, QString("restarting"));
        QCOMPARE(s.lastError, QString("palvuro-chat killed by signal 9 (Killed)"));
    }

    // The running host's status file is read back by the end-to-end suites; here what --status
    // says of a game, and of the same host once it died, and a damaged file.
    void statusFileOfALiveAndADeadHost() {
        QProcess host;
        host.start("sleep", {"60"});
        QVERIFY(host.waitForStarted());
        HostStatus s;
        s.state = "joined";
        s.gameRunning = true;
        s.category = "HISTORY";
        s.pid = host.processId();
        QString error;
        QVERIFY2(s.save(dir_.path(), &error), qPrintable(error));
        HostStatus back;
        QVERIFY2(HostStatus::load(dir_.path(), &back, &error), qPrintable(error));
        QVERIFY2(back.describe().contains("game: running, category HISTORY"), qPrintable(back.describe()));
        host.kill();
        QVERIFY(host.waitForFinished());
        QVERIFY(HostStatus::load(dir_.path(), &back, &error));
        QCOMPARE(back.state, QString("not running"));
        QVERIFY(!back.healthy() && !back.gameRunning);

        write(HostStatus::FileName, "{half");
        QVERIFY(!HostStatus::load(dir_.path(), &back, &error));
        QVERIFY2(error.contains("damaged"), qPrintable(error));
    }

    // The first start copies the user's own settings; the host's values go over them and
    // whatever it does not give stays.
    void botSettingsAreSeededThenOverwritten() {
        QSettings own(dir_.filePath("userconfig/Quorvex.conf"), QSettings::IniFormat);
        own.setValue("Give/Answer", "50");
        own.setValue("Get/Question", "45");
        own.setValue("Get/Category", "ART");
        own.sync();
        BotSettings settings(dir_.filePath("bot"));
        QString error;
        QVERIFY2(settings.seed(&error), qPrintable(error));
        QVERIFY(settings.write({{HostOptions::AnswerTime, "20"}, {HostOptions::GiveAnswer, "1"}}, &error));
        own.setValue("Get/Question", "99");
        own.sync();
        QVERIFY(settings.seed(&error)); // seeded once only
        QSettings stored(settings.file(), QSettings::IniFormat);
        QCOMPARE(stored.value("Give/Answer").toString(), QString("20"));
        QCOMPARE(stored.value("Give/AnswerCheck").toString(), QString("1"));
        QCOMPARE(stored.value("Get/Question").toString(), QString("45"));
        QCOMPARE(stored.value("Get/Category").toString(), QString("ART"));
    }
};

QTEST_GUILESS_MAIN(TestHost)
#include "tst_host.moc"
