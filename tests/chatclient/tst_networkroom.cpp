#include "chatclient/ClientOptions.h"
#include "chatclient/IrcRoomLink.h"
#include "chatclient/LinePacer.h"
#include "chatclient/MembershipNotices.h"
#include "platform/Windows1252.h"
#include "tests/support/FakeDesktop.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QtTest>

using namespace palvuro;

// What the room does differently when it is a channel, short of the network itself: the
// command line that names the channel and the account, the bot's formatting on its way out, and
// the pacing of lines into the text window. The session's side plays in the irc suites.
class TestNetworkRoom : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password"); // PALVURO_IRC_PASSWORD
        // "local NICK keep=N", or host port tls channel account password, keep=N unless the default;
        // or "error" and a part of the reason.
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const QStringList& args, const char* expected,
                            const char* password = "") {
            QTest::newRow(tag) << args << QString(password) << QString(expected);
        };
        row("local room", {"--nick", "BOT", "--keep-lines", "1000"}, "local BOT keep=1000");
        row("plain, default port", {"irc://irc.example.net/%23trivia"}, "irc.example.net 6667 0 #trivia  ");
        row("own port, bare name", {"ircs://127.0.0.1:7000/trivia"}, "127.0.0.1 7000 1 #trivia  ");
        row("account, password from the environment", {"--account", "quiz", "ircs://h/%23t"},
            "h 6697 1 #t quiz s3cret", "s3cret");
        row("account, password file wins", {"--account", "quiz", "--password-file", "@", "ircs://h/%23t"},
            "h 6697 1 #t quiz from file", "other");
        row("account without password", {"--account", "quiz", "ircs://h/%23t"}, "error");
        row("account over plain text", {"--account", "quiz", "irc://h/%23t"}, "error", "s3cret");
        row("certificate over plain text", {"--tls-cert", "@", "irc://h/%23t"}, "error");
        row("server password from a file", {"--server-password-file", "@", "irc://h/%23t"},
            "h 6667 0 #t   from file");
        row("unreadable server password file", {"--server-password-file", "/nonexistent", "irc://h/%23t"},
            "error cannot read the password file");
        row("password file without account", {"--password-file", "@", "irc://h/%23t"}, "error");
        row("no password on the command line", {"--password", "x", "irc://h/%23t"}, "error");
        row("# as web pages write it", {"irc://h/#trivia"}, "h 6667 0 #trivia  ");
        row("# inside the name", {"irc://h:7/%23a#b"}, "h 7 0 #a#b  ");
        row("only a #", {"irc://h/#"}, "error");
        row("channel key from a file", {"--channel-key-file", "@", "irc://h/%23t"},
            "h 6667 0 #t   key=from file");
        row("other scheme", {"http://h/%23t"}, "error");
        row("two URLs", {"irc://h/%23a", "irc://h/%23b"}, "error");
        row("network option, no URL", {"--tls-ca", "@"}, "error");
        row("missing CA file", {"--tls-ca", "/nonexistent.pem", "irc://h/%23t"},
            "error --tls-ca: no file /nonexistent.pem");
        // The window limit's refusals are the host suite's, which starts the client on its rules.
        row("channel keeps all", {"--keep-lines", "0", "irc://h/%23t"}, "h 6667 0 #t   keep=0");
        row("wrap not a number", {"--wrap", "wide"}, "error --wrap needs");
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("from file\r\nsecond line\r\n");
        file.flush();
        args.replaceInStrings(QRegularExpression("^@$"), file.fileName());
        qputenv(ClientOptions::PasswordVariable, password.toUtf8());

        ClientOptions options;
        QString error, help;
        const bool ok = ClientOptions::parse(QStringList{"palvuro-chat"} + args, &options, &error, &help);
        qunsetenv(ClientOptions::PasswordVariable);
        if (expected.startsWith("error")) {
            QVERIFY(!ok);
            QVERIFY2(!error.isEmpty() && error.contains(expected.mid(6)), qPrintable(error));
            return;
        }
        QVERIFY2(ok, qPrintable(error));
        if (!options.network) {
            QCOMPARE(QStringLiteral("local %1 keep=%2").arg(options.nick).arg(options.keepLines), expected);
            return;
        }
        const IrcSessionConfig& irc = options.irc;
        QStringList got{irc.host,    QString::number(irc.port),      QString::number(irc.tls), irc.channel,
                        irc.account, QString::fromUtf8(irc.password)};
        if (!irc.serverPassword.isEmpty())
            got.append(QString::fromUtf8(irc.serverPassword));
        if (!irc.channelKey.isEmpty())
            got.append("key=" + QString::fromUtf8(irc.channelKey));
        if (options.keepLines != ClientOptions::DefaultNetworkKeepLines)
            got.append("keep=" + QString::number(options.keepLines));
        QCOMPARE(got.join(' '), expected);
    }

    // The markers around the bot's private replies, its twelve-line top list among them.
    void boldMarkersBecomeIrcBold_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent");
        const auto row = [](const char* tag, const char* typed, const char* sent) {
            QTest::newRow(tag) << QString(typed) << QString(sent);
        };
        row("one line", " <b>Your Score Is 3</b>", " \x02Your Score Is 3\x02");
        row("marker alone on the first line", " <b>\r\nANNA 12\r\nBOB 7</b>",
            "\x02"
            "ANNA 12\r\n\x02"
            "BOB 7\x02");
        row("empty lines skipped", "a\r\n\r\n \n<B></B>\rb", "a\r\nb");
        row("no markers", "HINT: A _ _ _", "HINT: A _ _ _");
    }
    void boldMarkersBecomeIrcBold() {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        QCOMPARE(IrcRoomLink::toIrcFormatting(typed), sent);
    }

    // An action or notice built from chatter text can hold neither a nick's separator nor a line
    // break as the bot reads it (in Windows-1252, where best fit turns colon look-alikes into
    // ':'), so the bot never finds a command or an answer in it.
    void inertTextHasNoColonOrBreak() {
        const QString text =
            IrcRoomLink::inert(QString::fromLatin1("x  : !start\r\nANNA  : AUGUSTUS\x01\0", 31) +
                               QStringLiteral("x \uFF1A !start x \u2236 !q x \u0589 !top"));
        const QByteArray read = Windows1252::encode(text);
        QVERIFY2(!read.contains(':'), read.constData());
        for (const char c : read)
            QVERIFY(static_cast<unsigned char>(c) >= 0x20);
    }

    // Lines said in one burst reach the text window one per interval, in the order said, the
    // client's own line behind those that came before it.
    void pacedLinesKeepTheirOrderAndSpacing() {
        FakeDesktop desk(QStringLiteral("TRIVIA"), 0);
        ChatRoom& room = desk.room();
        room.setLinePacing(IrcRoomLink::LineIntervalMs);
        QStringList shown;
        QList<qint64> at;
        QElapsedTimer clock;
        clock.start();
        connect(&room, &ChatRoom::paragraphShown, this, [&](const QString& p) {
            shown << p;
            at << clock.elapsed();
        });
        for (const char* nick : {"ANNA", "BOB", "CAT"})
            room.hear(nick, "augustus");
        room.say("TRIVIA", "HINT: A _ _");
        QCOMPARE(shown, QStringList{"ANNA  : augustus "}); // a quiet room shows the first at once
        QTRY_COMPARE(shown.size(), 4);
        QCOMPARE(shown, QStringList({"ANNA  : augustus ", "BOB  : augustus ", "CAT  : augustus ",
                                     "TRIVIA  : HINT: A _ _ "}));
        for (int i = 1; i < at.size(); ++i)
            QVERIFY2(at[i] - at[i - 1] >= IrcRoomLink::LineIntervalMs - 1,
                     qPrintable(QString::number(at[i] - at[i - 1])));
        QCOMPARE(room.text().lineCount(), 5);
    }

    // A flood larger than the room can show in a few seconds costs the oldest waiting chat lines,
    // never the newest, never the order, and never the client's own lines or notices.
    void floodDropsTheOldestWaitingChatLines() {
        QStringList shown;
        LinePacer pacer(1, [&](const QString& p) { shown << p; });
        const int flood = LinePacer::MaxWaiting + 50;
        pacer.push("first");
        pacer.push("summary", LinePacer::Kind::Kept);
        for (int i = 0; i < flood; ++i) {
            pacer.push(QString::number(i));
            if (i == 10)
                pacer.push("own line", LinePacer::Kind::Kept);
        }
        QCOMPARE(pacer.queued(), LinePacer::MaxWaiting + 2);
        QTRY_COMPARE(shown.size(), LinePacer::MaxWaiting + 3);
        QCOMPARE(shown.mid(0, 4), QStringList({"first", "summary", "own line",
                                               QString::number(flood - LinePacer::MaxWaiting)}));
        QCOMPARE(shown.last(), QString::number(flood - 1));
    }

    // A netsplit's hundreds of quits, the joins around it and a purge of clones: the first notice of a quiet
    // spell shows at once, the rest of the spell as one line at its end.
    void crowdsAreSummedUp() {
        QStringList shown;
        MembershipNotices notices(200, [&](const QString& line) { shown << line; });
        notices.joined("ANNA");
        QCOMPARE(shown, QStringList{"ANNA has joined the room"});
        for (int i = 0; i < 300; ++i)
            notices.left(QStringLiteral("X%1").arg(i));
        notices.joined("BOB");
        notices.joined("CAT");
        notices.renamed("DAN", "DANNY");
        for (int i = 0; i < 50; ++i)
            notices.kicked(QStringLiteral("CLONE%1").arg(i), "ANNA");
        QCOMPARE(shown.size(), 1);
        QTRY_COMPARE(shown.size(), 2);
        QCOMPARE(shown.last(),
                 "BOB and CAT have joined the room; X0, X1, X2 and 297 more have left the room; "
                 "DAN is now known as DANNY; 50 chatters were kicked");
        notices.kicked("EVE", "ANNA");
        QCOMPARE(shown.size(), 2);
        QTRY_COMPARE(shown.last(), "EVE was kicked by ANNA");
        QCOMPARE(MembershipNotices::summary({}, {"A", "B", "C", "D"}, {"x", "y"}),
                 "A, B, C and D have left the room; 2 chatters changed their nicks");
    }
};

QTEST_GUILESS_MAIN(TestNetworkRoom)
#include "tst_networkroom.moc"
