#include "bridge/ConversationNicks.h"
#include "bridge/PidginProfile.h"

#include <QTest>

using namespace palvuro;

// The bot's private line "/msg TO TEXT" comes with TO upper-cased and cut at the first blank;
// it must reach the chatter who spoke, as the conversation names them, or nobody.
class TestConversationNicks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void privateLineFindsTheNickHeard_data() {
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* tag, const QStringList& heard, const QString& to, const char* text,
                            const char* nick, const char* said) {
            QTest::newRow(tag) << heard << to << QString(text) << QString(nick) << QString(said);
        };
        row("letter case", {"cat"}, "CAT", "DORA 9", "cat", "DORA 9");
        row("never heard", {"bob"}, "CAT", "DORA 9", "CAT", "DORA 9");
        row("the longest nick", {"anna x", "Anna"}, "ANNA", "X hi", "anna x", "hi");
        row("the shorter one alone", {"anna x", "Anna"}, "ANNA", "Xavier hi", "Anna", "Xavier hi");
        row("alike: the last heard", {"Cat", "cat", "CAT", "cAt"}, "CAT", "hi", "cAt", "hi");
        row("a longer nick is not a prefix", {"cathy", "ca"}, "CAT", "hi", "CAT", "hi");
        row("colons as the bot reads them", {"bob: z"}, ConversationNicks::asBotReads("bob:"), "Z hi",
            "bob: z", "hi");
        row("nothing after the nick", {"bob x"}, "BOB", "X", "bob x", "");
    }
    void privateLineFindsTheNickHeard() {
        QFETCH(QStringList, heard);
        QFETCH(QString, to);
        QFETCH(QString, text);
        ConversationNicks nicks;
        for (const QString& nick : heard)
            nicks.heard(nick);
        const ConversationNicks::Target target = nicks.resolve(to, text);
        QTEST(target.nick, "nick");
        QTEST(target.text, "said");
    }

    // Pidgin's "/msg" takes the nick up to the first blank: a nick with one cannot be reached,
    // and a line for it must not go to the nick its first word names.
    void pidginCannotSendToANickWithBlanks() {
        const PidginProfile pidgin;
        QCOMPARE(pidgin.privateLine("cat", "DORA 9"), "/msg cat DORA 9");
        QVERIFY(pidgin.privateLine("bob\tx", "hi").isEmpty());
    }

    // A flood of nicks keeps the newest.
    void rememberedNicksAreBounded() {
        ConversationNicks nicks;
        for (int i = 0; i <= ConversationNicks::MaxNicks; ++i)
            nicks.heard(QStringLiteral("n%1").arg(i));
        QCOMPARE(nicks.resolve("N0", "hi").nick, "N0");
        QCOMPARE(nicks.resolve("N1", "hi").nick, "n1");
    }
};

QTEST_GUILESS_MAIN(TestConversationNicks)
#include "tst_conversation_nicks.moc"
