#include "chatclient/IrcRoomLink.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Message = IrcChatter::Message;

// The room on a real channel, without the bot: what chatters say as the bot would read it, and
// what the client's own nick types as the chatters receive it.
class TestRoomLink : public QObject {
    Q_OBJECT
    IrcServer server_;
    std::unique_ptr<FakeDesktop> desk_;
    std::unique_ptr<IrcSession> session_;
    std::unique_ptr<IrcRoomLink> link_;
    std::unique_ptr<IrcChatter> anna_, bob_;
    QStringList privates_, statuses_;

    ChatRoom& room() { return desk_->room(); }
    bool roomShows(const QString& row) {
        return QTest::qWaitFor([&] {
            for (std::int32_t line = 0; line < room().text().lineCount(); ++line)
                if (room().text().lineWithMark(line) == row + '\r')
                    return true;
            return false;
        });
    }
    static IrcChatter::Match fromClient(const QString& target) {
        return [target](const Message& m) {
            return m.command == "PRIVMSG" && m.nick == "TRIVIA" && m.params.value(0) == target;
        };
    }

private Q_SLOTS:
    void initTestCase() {
        START_IRC_SERVER_OR_SKIP(server_);
        anna_ = std::make_unique<IrcChatter>("ANNA");
        bob_ = std::make_unique<IrcChatter>("BOB");
        for (IrcChatter* c : {anna_.get(), bob_.get()})
            QVERIFY(c->connectTo(server_.port(), "#trivia"));

        IrcSessionConfig config;
        config.host = IrcServer::Host;
        config.port = server_.tlsPort();
        config.tls = true;
        config.extraCaFile = server_.certificateFile();
        config.channel = "#trivia";
        config.nick = "TRIVIA";
        desk_ = std::make_unique<FakeDesktop>("TRIVIA", 0);
        session_ = std::make_unique<IrcSession>(config);
        link_ = std::make_unique<IrcRoomLink>(room(), *session_, config);
        connect(link_.get(), &IrcRoomLink::privateReceived, this,
                [this](const QString& from, const QString& text) { privates_ << from + ' ' + text; });
        connect(link_.get(), &IrcRoomLink::statusChanged, this, [this](const QString& s) { statuses_ << s; });
        session_->start();
        QTRY_COMPARE_WITH_TIMEOUT(link_->status(), "Joined #trivia as TRIVIA", 15000);
        QVERIFY(statuses_.first().startsWith("Connecting to 127.0.0.1:"));
        QTRY_VERIFY(room().members().contains("ANNA"));
        QCOMPARE(room().members().first(), "TRIVIA");
    }

    // A said line, an action that would be a command, a private message, notices on and off.
    void channelShowsInTheRoomsLayout() {
        anna_->say("#trivia", "augustus");
        QVERIFY(roomShows("ANNA  : augustus "));
        anna_->sendRaw("PRIVMSG #trivia :\x01"
                       "ACTION waves: !start history\x01");
        QVERIFY(roomShows(QString("* ANNA waves") + QChar(0xA789) + " !start history"));
        bob_->sendRaw("PRIVMSG TRIVIA :\x03"
                      "04psst");
        QTRY_COMPARE(privates_, QStringList{"BOB psst"});
        QVERIFY(!room().text().plainText().contains("psst"));
        const int mark = bob_->receivedCount();
        bob_->sendRaw("PRIVMSG TRIVIA :\x01VERSION\x01");
        QVERIFY(bob_->waitFor(
            [](const Message& m) { return m.command == "NOTICE" && m.text().startsWith("\x01VERSION "); },
            mark));
        QCOMPARE(privates_, QStringList{"BOB psst"}); // a CTCP request is answered, not shown

        IrcChatter cat("CAT");
        QVERIFY(cat.connectTo(server_.port(), "#trivia"));
        QVERIFY(roomShows("CAT has joined the room"));
        room().say("TRIVIA", "/notifyoff");
        cat.quit();
        anna_->say("#trivia", "after");
        QVERIFY(roomShows("ANNA  : after "));
        QVERIFY(!room().text().plainText().contains("CAT has left"));
        QTRY_VERIFY(!room().members().contains("CAT"));
    }

    // "/notifyoff" is the client's own and never reaches the channel. (A text of several lines,
    // a message each, and a private reply in bold to its nick alone: the game's suite.)
    void ownCommandsStayInTheClient() {
        const int mark = bob_->receivedCount();
        room().say("TRIVIA", "/notifyoff");
        room().say("TRIVIA", "end");
        QVERIFY(bob_->waitFor(IrcChatter::privmsgFrom("TRIVIA", "end"), mark));
        QCOMPARE(bob_->messagesFrom("TRIVIA", mark).size(), 1);
    }

    // While the server is gone the client's lines are shown as not delivered and never said late.
    void linesWhileOutAreNotDelivered() {
        server_.kill();
        QTRY_VERIFY(link_->status().startsWith("Reconnecting in "));
        room().say("TRIVIA", "WHO WAS THE FIRST EMPEROR OF ROME?");
        QVERIFY(roomShows("(not delivered) WHO WAS THE FIRST EMPEROR OF ROME?"));
        QVERIFY(server_.start());
        QVERIFY(anna_->connectTo(server_.port(), "#trivia"));
        const int mark = anna_->receivedCount();
        QTRY_COMPARE_WITH_TIMEOUT(link_->status(), "Joined #trivia as TRIVIA", 15000);
        room().say("TRIVIA", "back");
        QVERIFY(anna_->waitFor(fromClient("#trivia"), mark));
        QCOMPARE(anna_->messagesFrom("TRIVIA", mark).size(), 1);
        QCOMPARE(anna_->messagesFrom("TRIVIA", mark).first().text(), "back");
    }
};

QTEST_GUILESS_MAIN(TestRoomLink)
#include "tst_roomlink.moc"
