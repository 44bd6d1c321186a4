// Parsing what a server (or anyone pretending to be one) sends, and writing lines back.
#include "irc/IrcCtcp.h"
#include "irc/IrcCtcpResponder.h"
#include "irc/IrcMessage.h"
#include "irc/IrcNameRules.h"

#include <QTimeZone>
#include <QtTest>

using namespace palvuro;

using Params = QList<QByteArray>;

class TestIrcMessage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesAnyLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("nick");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<Params>("params");

        QTest::newRow("privmsg") << QByteArray(":ANNA!anna@host.example PRIVMSG #trivia :hello there")
                                 << QByteArray("ANNA") << QByteArray("PRIVMSG")
                                 << Params{"#trivia", "hello there"};
        QTest::newRow("no prefix, lower case")
            << QByteArray("ping :token") << QByteArray() << QByteArray("PING") << Params{"token"};
        QTest::newRow("empty trailing")
            << QByteArray(":a PRIVMSG #c :") << QByteArray("a") << QByteArray("PRIVMSG") << Params{"#c", ""};
        QTest::newRow("colon inside trailing") << QByteArray(":a PRIVMSG #c ::-) a:b") << QByteArray("a")
                                               << QByteArray("PRIVMSG") << Params{"#c", ":-) a:b"};
        QTest::newRow("runs of blanks")
            << QByteArray(":a   JOIN    #c   ") << QByteArray("a") << QByteArray("JOIN") << Params{"#c"};
        QTest::newRow("tags and prefix") << QByteArray("@time=2026-01-01T00:00:00Z;+x :n!u@h NICK m")
                                         << QByteArray("n") << QByteArray("NICK") << Params{"m"};
        QTest::newRow("prefix only") << QByteArray(":n!u@h") << QByteArray("n") << QByteArray() << Params{};
        QTest::newRow("command of symbols")
            << QByteArray(":n @X :y") << QByteArray("n") << QByteArray() << Params{};
        QTest::newRow("bytes of every kind")
            << QByteArray(":\xff\x01!\x00@\xfe PRIVMSG #c :\x03\x31\x32\xc3\x28\x00", 26)
            << QByteArray("\xff\x01") << QByteArray("PRIVMSG")
            << Params{"#c", QByteArray("\x03\x31\x32\xc3\x28\x00", 6)};
        QTest::newRow("thousands of parameters") << QByteArray("CMD" + QByteArray(" x").repeated(3000))
                                                 << QByteArray() << QByteArray("CMD") << Params(3000, "x");
    }
    void parsesAnyLine() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, nick);
        QFETCH(QByteArray, command);
        QFETCH(Params, params);
        const IrcMessage message = IrcMessage::parse(line);
        QCOMPARE(message.nick, nick);
        QCOMPARE(message.command, command);
        QCOMPARE(message.isValid(), !command.isEmpty());
        if (message.isValid())
            QCOMPARE(message.params, params);
    }

    void readsPrefixTagsAndNumerics() {
        const IrcMessage message = IrcMessage::parse(
            "@msgid=a\\sb\\:c\\\\d\\r\\n\\x\\;flag;;=v :nick!~user@host.example 001 me :Welcome");
        QCOMPARE(message.user, QByteArray("~user"));
        QCOMPARE(message.host, QByteArray("host.example"));
        QCOMPARE(message.numeric(), 1);
        QCOMPARE(message.tag("msgid"), QByteArray("a b;c\\d\r\nx"));
        QCOMPARE(message.tags.size(), 2); // "flag" without a value; the empty key is dropped
        QCOMPARE(IrcMessage::parse("PRIVMSG a b").numeric(), 0);
        QCOMPARE(IrcMessage::parse("1234 a").numeric(), 0);
    }

    // Whatever the fields hold, the written line is one line that reads back the same.
    void writesOneLineThatReadsBack() {
        const IrcMessage message =
            IrcMessage::make("PRIVMSG", {"#c", QByteArray("evil\r\nQUIT :bye\0x", 18)});
        const QByteArray line = message.serialize();
        QCOMPARE(line, QByteArray("PRIVMSG #c :evilQUIT :byex"));

        IrcMessage odd = IrcMessage::make("CMD", {"", "a b", "last"});
        QCOMPARE(odd.serialize(), QByteArray("CMD :")); // an empty middle can only be written last
        odd.params = {":x", "y"};
        QCOMPARE(odd.serialize(), QByteArray("CMD ::x"));

        IrcMessage tagged = IrcMessage::make("TAGMSG", {"#c"});
        tagged.tags = {{"+draft/reply", "a; b\\c\r\n"}, {"bare", {}}};
        tagged.prefix = "n!u@h";
        const IrcMessage back = IrcMessage::parse(tagged.serialize());
        QCOMPARE(back.tags, tagged.tags);
        QCOMPARE(back.prefix, tagged.prefix);
        QCOMPARE(back.params, tagged.params);
    }

    void readsCtcp() {
        QCOMPARE(IrcCtcp::parse("\x01"
                                "ACTION waves\x01")
                     ->argument,
                 QByteArray("waves"));
        QCOMPARE(IrcCtcp::parse("\x01"
                                "action waves")
                     ->command,
                 QByteArray("ACTION")); // no closing mark
        QCOMPARE(IrcCtcp::parse("\x01VERSION\x01")->argument, QByteArray());
        QCOMPARE(IrcCtcp::parse("\x01")->command, QByteArray());
        QVERIFY(!IrcCtcp::parse("hello \x01"
                                "ACTION x\x01"));
    }

    // Each request people send to see who is there gets its answer, a crowd of them one answer
    // per two seconds in all, and a PING's token comes back without anything that ends a line.
    void answersCtcpRequestsSparingly() {
        IrcCtcpResponder responder("palvuro-chat 9.9");
        const QDateTime noon(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());
        const auto ask = [&](const QByteArray& text, qint64 ms) {
            return responder.answer(*IrcCtcp::parse(text), ms, noon).value_or("(none)");
        };
        QCOMPARE(ask("\x01VERSION\x01", 0), QByteArray("\x01VERSION palvuro-chat 9.9\x01"));
        QCOMPARE(ask("\x01PING 123\x01", 1999), QByteArray("(none)"));
        QCOMPARE(ask("\x01PING 123\r\nQUIT\x01", 2000), QByteArray("\x01PING 123QUIT\x01"));
        QCOMPARE(ask("\x01TIME\x01", 4000), QByteArray("\x01TIME 07 Dec 2026 12:00:00 +0000\x01"));
        QCOMPARE(ask("\x01USERINFO\x01", 6000), QByteArray("(none)"));
        QCOMPARE(ask("\x01"
                     "CLIENTINFO\x01",
                     6000),
                 QByteArray("\x01"
                            "CLIENTINFO ACTION CLIENTINFO PING TIME VERSION\x01"));
    }

    // Nicks and channels compare by the rules the server announced, never by one fixed table.
    void comparesNamesByTheServersRules_data() {
        QTest::addColumn<Params>("isupport");
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("rfc1459 until told")
            << Params{} << QByteArray("Bot[x]~") << QByteArray("bot{X}^") << true;
        QTest::newRow("ascii keeps brackets apart")
            << Params{"CASEMAPPING=ascii"} << QByteArray("Bot[x]") << QByteArray("Bot{x}") << false;
        QTest::newRow("ascii folds letters")
            << Params{"CASEMAPPING=ascii"} << QByteArray("BOT[X]") << QByteArray("bot[x]") << true;
        QTest::newRow("strict folds brackets")
            << Params{"CASEMAPPING=rfc1459-strict"} << QByteArray("a[]\\") << QByteArray("A{}|") << true;
        QTest::newRow("strict keeps ~ and ^ apart")
            << Params{"CASEMAPPING=rfc1459-strict"} << QByteArray("a~") << QByteArray("a^") << false;
        QTest::newRow("rfc8265 composes first") << Params{"CASEMAPPING=rfc8265"} << QByteArray("jos\xc3\xa9")
                                                << QByteArray("JOSe\xcc\x81") << true;
        QTest::newRow("rfc7613 folds ascii only")
            << Params{"CASEMAPPING=rfc7613"} << QByteArray("\xc3\xa9") << QByteArray("\xc3\x89") << false;
        QTest::newRow("rfc8265, bytes that are no UTF-8")
            << Params{"CASEMAPPING=rfc8265"} << QByteArray("a\xff") << QByteArray("a\xfe") << false;
        QTest::newRow("withdrawn") << Params{"CASEMAPPING=ascii", "-CASEMAPPING"} << QByteArray("a[")
                                   << QByteArray("a{") << true;
        QTest::newRow("unknown") << Params{"CASEMAPPING=klingon"} << QByteArray("a[") << QByteArray("A{")
                                 << true;
    }
    void comparesNamesByTheServersRules() {
        QFETCH(Params, isupport);
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, same);
        IrcNameRules rules;
        for (const QByteArray& token : isupport)
            rules.read(token);
        QCOMPARE(rules.same(a, b), same);
        QCOMPARE(rules.same(b, a), same);
    }

    void tellsChannelsAndPrefixesByTheServersRules() {
        IrcNameRules rules;
        QVERIFY(rules.isChannel("&local") && rules.isChannel("#trivia") && !rules.isChannel("ANNA"));
        QCOMPARE(rules.withoutModes("~@ANNA"), QByteArray("ANNA"));
        rules.read("CHANTYPES=#");
        rules.read("PREFIX=(Yov)!@+");
        QVERIFY(!rules.isChannel("&local") && rules.isChannel("#trivia"));
        QCOMPARE(rules.withoutModes("!@+ANNA"), QByteArray("ANNA"));
        QCOMPARE(rules.withoutModes("~ANNA"), QByteArray("~ANNA"));
    }
};

QTEST_GUILESS_MAIN(TestIrcMessage)
#include "tst_message.moc"
