#include "tests/support/ProsodyServer.h"
#include "tests/support/XmppChatter.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Message = Chatter::Message;

// The XMPP group chat the bridge's games are played in: a real Prosody and the chatters the
// games rely on to say and to hear, checked against each other before a client joins them.
class TestXmppRoom : public QObject {
    Q_OBJECT
    ProsodyServer server_;
    const QString room_ = ProsodyServer::roomAddress(QStringLiteral("trivia"));

    std::unique_ptr<XmppChatter> join(const QString& nick, const QString& user) {
        auto chatter = std::make_unique<XmppChatter>(nick);
        if (!server_.addAccount(user) || !chatter->connectTo(server_.port(), user, room_))
            return nullptr;
        return chatter;
    }

private Q_SLOTS:
    void initTestCase() { START_XMPP_SERVER_OR_SKIP(server_); }

    // Room lines reach everyone, a private line only its occupant, with the nick exactly as
    // chosen, blanks and colons included; a taken nick is refused, a leaving one seen.
    void chattersHearTheRoomAndEachOther() {
        const auto anna = join("ANNA", "anna");
        QVERIFY2(anna, qPrintable(server_.error() + server_.output()));
        auto odd = join("BOB: !START  x", "bob");
        QVERIFY(odd);
        QVERIFY(anna->waitFor(
            [](const Message& m) { return m.command == "JOIN" && m.nick == "BOB: !START  x"; }));

        odd->say(room_, "hello <&> world");
        QVERIFY(anna->waitFor(Chatter::privmsgFrom("BOB: !START  x", "hello <&> world")));
        QCOMPARE(anna->messagesFrom("BOB: !START  x").constLast().params.value(0), room_);
        odd->say("ANNA", "just you");
        const auto privately = anna->waitFor(Chatter::privmsgFrom("BOB: !START  x", "just you"));
        QVERIFY(privately);
        QCOMPARE(privately->params.value(0), "ANNA");
        QVERIFY(odd->waitFor(Chatter::privmsgFrom("BOB: !START  x", "hello <&> world")));
        QVERIFY(odd->messagesFrom("BOB: !START  x").size() == 1);

        XmppChatter twin("ANNA");
        QVERIFY(server_.addAccount("twin"));
        QVERIFY(!twin.connectTo(server_.port(), "twin", room_));

        const int mark = anna->receivedCount();
        odd.reset();
        QVERIFY(anna->waitFor(
            [](const Message& m) { return m.command == "PART" && m.nick == "BOB: !START  x"; }, mark));
    }
};

QTEST_GUILESS_MAIN(TestXmppRoom)
#include "tst_xmpp_room.moc"
