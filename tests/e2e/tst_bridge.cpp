#include "tests/support/BridgedBot.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/E2eSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/PidginSession.h"
#include "tests/support/ProsodyServer.h"
#include "tests/support/RoomWindow.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/XmppChatter.h"

#include <QtTest>

#include <algorithm>
#include <memory>
#include <numeric>

using namespace palvuro;
using Message = Chatter::Message;

// The real bot hosting in Pidgin: a real server, Pidgin joined to its room on a private X
// server and accessibility bus, palvuro-bridge offering the bot Pidgin's conversation, the bot
// with no display, and chatters that are connections of their own. One session per network
// plays the game through a lost connection, then the hostile lines: an IRC channel on
// ircd-hybrid, then an XMPP group chat on Prosody, whose chatters go by lower-case nicks that
// may hold blanks and colons.
class TestBridge : public QObject {
    Q_OBJECT
public:
    enum class Network { Irc, Xmpp };
    explicit TestBridge(Network network) : network_(network) {}

private:
    const Network network_;
    // Where chatters say their lines, and the conversation's name as Pidgin's tab shows it.
    QString channel_, conversation_;
    IrcServer ircServer_;
    ProsodyServer xmppServer_;
    int xmppAccounts_ = 0;
    std::unique_ptr<Chatter> anna_, bob_, cat_;
    std::unique_ptr<PidginSession> pidgin_;
    std::unique_ptr<BridgedBot> host_;
    std::unique_ptr<ChannelGame> game_;                   // as ANNA sees it
    const QString pidginUser_ = QStringLiteral("trivia"); // its XMPP account

    // Served in order: once the bot answered CAT's "!MYSCORE", it has read every line before it.
    bool botHasReadAll() {
        const int mark = cat_->receivedCount();
        cat_->say(channel_, "!MYSCORE");
        return cat_
            ->waitFor(
                [](const Message& m) {
                    return m.command == "PRIVMSG" && m.nick == E2eSession::BotNick &&
                           m.text().startsWith("Your Score Is");
                },
                mark, 30000)
            .has_value();
    }
    // The three chatters in the channel, and Pidgin set up to join it as the bot's nick.
    void joinIrc() {
        START_IRC_SERVER_OR_SKIP(ircServer_);
        channel_ = conversation_ = QStringLiteral("#trivia");
        for (auto [chatter, nick] : {std::pair{&anna_, "ANNA"}, {&bob_, "BOB"}, {&cat_, "CAT"}}) {
            auto irc = std::make_unique<IrcChatter>(nick);
            QVERIFY(irc->connectTo(ircServer_.port(), channel_));
            *chatter = std::move(irc);
        }
        pidgin_ = std::make_unique<PidginSession>(ircServer_.port(), channel_, E2eSession::BotNick);
    }
    void joinXmpp() {
        START_XMPP_SERVER_OR_SKIP(xmppServer_);
        conversation_ = QStringLiteral("trivia");
        channel_ = conversation_ + QLatin1Char('@') + ProsodyServer::RoomService;
        for (auto [chatter, nick] : {std::pair{&anna_, "anna"}, {&bob_, "bob"}, {&cat_, "cat"}}) {
            *chatter = joinXmppAs(nick);
            QVERIFY2(*chatter, qPrintable(xmppServer_.error()));
        }
        QVERIFY(xmppServer_.addAccount(pidginUser_));
        pidgin_ = std::make_unique<PidginSession>(
            xmppServer_.port(), channel_, E2eSession::BotNick,
            PidginSession::XmppLogin{pidginUser_ + QLatin1Char('@') + ProsodyServer::Domain,
                                     ProsodyServer::Password});
    }
    // An account of its own for every XMPP chatter: room nicks may hold what user names may not.
    std::unique_ptr<Chatter> joinXmppAs(const QString& nick) {
        const QString user = QStringLiteral("chatter%1").arg(++xmppAccounts_);
        auto xmpp = std::make_unique<XmppChatter>(nick);
        if (!xmppServer_.addAccount(user) || !xmpp->connectTo(xmppServer_.port(), user, channel_))
            return nullptr;
        return xmpp;
    }

    // The server ends Pidgin's connection: an operator's KILL on IRC, on XMPP a login with the
    // resource of Pidgin's account, which takes its place. Pidgin keeps the conversation open.
    bool endPidginsConnection() {
        const int mark = anna_->receivedCount();
        if (network_ == Network::Irc) {
            IrcChatter sysop(QStringLiteral("SYSOP"));
            if (!sysop.connectTo(ircServer_.port(), {}))
                return false;
            sysop.sendRaw(QByteArray("OPER ") + IrcServer::OperName + ' ' + IrcServer::OperPassword);
            if (!sysop.waitFor([](const Message& m) { return m.command == "381"; }))
                return false;
            sysop.sendRaw(QByteArray("KILL ") + E2eSession::BotNick + " :the test ends this connection");
        } else {
            XmppChatter usurper(QString::fromLatin1(PidginSession::XmppResource));
            if (!usurper.connectTo(xmppServer_.port(), pidginUser_, {}))
                return false;
        }
        return anna_
            ->waitFor(
                [](const Message& m) {
                    return m.nick == E2eSession::BotNick && (m.command == "QUIT" || m.command == "PART");
                },
                mark, 30000)
            .has_value();
    }

private Q_SLOTS:
    void cleanup() {
        if (!QTest::currentTestFailed() || !anna_ || !host_)
            return;
        qWarning().noquote() << anna_->dump(qMax(0, anna_->receivedCount() - 40)) << "the bridge:\n"
                             << host_->log() << "the bot:\n"
                             << host_->bot().botLog();
    }

    void initTestCase() {
        if (const QString why = BridgedBot::cannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        network_ == Network::Irc ? joinIrc() : joinXmpp();
        if (QTest::currentTestFailed() || !pidgin_)
            return;
        QVERIFY2(pidgin_->start(), qPrintable(pidgin_->error()));
        QVERIFY2(anna_->waitFor(
                     [](const Message& m) { return m.command == "JOIN" && m.nick == E2eSession::BotNick; }, 0,
                     30000),
                 "Pidgin did not join the room");
        host_ = std::make_unique<BridgedBot>(*pidgin_, conversation_);
        // Pidgin's IRC sends a line of the bot's on its once-a-second timer and no sooner than
        // two seconds after the one before: a hint said halfway through can reach the chatters
        // three seconds late, and an answer to it must still come in time.
        QVERIFY2(host_->start(8, 2), qPrintable(host_->error()));
        game_ = std::make_unique<ChannelGame>(*anna_, channel_, E2eSession::BotNick, E2eSession::answers(),
                                              host_->bot().dataFolder());
    }

    // The game crosses Pidgin both ways. Then the server ends Pidgin's connection, which leaves
    // the conversation open but out of the room (Pidgin killed, the conversation gone, is the XMPP
    // history round's): the bridge says so, the bot's lines wait for Pidgin to be back (none typed
    // into the room Pidgin is out of) and then come, each once, and the game goes on.
    void wholeGame() {
        int at = anna_->receivedCount() - 1;
        anna_->say(channel_, "!start history");
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Bot Started By ANNA]"), at + 1, 20000, &at));
        // BOB answers as soon as the hint is out, just as Pidgin sends it.
        const auto question = game_->nextQuestion(&at);
        QVERIFY(question);
        QVERIFY(game_->nextStarting("HINT: ", &at));
        bob_->say(channel_, game_->answerTo(*question).toLower());
        QVERIFY2(game_->scored(*bob_, &at), "BOB's answer did not count");
        // The text's CR LF made two messages.
        QCOMPARE(game_->nextBotLine(&at)->text(), "2 Seconds Until Next Question.");

        // The top list comes to CAT alone, without bold markers.
        const int catMark = cat_->receivedCount();
        QCOMPARE(game_->topList(*cat_, "BOB 1"), QStringList({"BOB 1"}));
        for (const Message& m : cat_->messagesFrom(E2eSession::BotNick, catMark))
            QVERIFY2(!m.text().contains(QChar(0x02)), m.raw.constData());

        // Out until a line of the bot's waits. Pidgin would connect again by itself only after
        // a random 8 to 60 seconds; the test presses Reconnect as a person would.
        const qsizetype outage = host_->log().size();
        const int seen = anna_->receivedCount();
        QVERIFY(endPidginsConnection());
        QVERIFY2(host_->waitForLog("status: Out of .*; [1-9][0-9]* of the bot's lines wait", 60000, outage),
                 host_->log().mid(outage));
        QVERIFY2(pidgin_->reconnectAccount(), qPrintable(pidgin_->error()));
        QVERIFY2(host_->waitForLog(host_->followingStatus(), 60000, outage), host_->log().mid(outage));
        bool scored = false;
        for (int round = 0; round < 3 && !scored; ++round)
            scored = game_->answers(*bob_, &at, 40000);
        QVERIFY2(scored, "no answer of BOB's counted in three questions");
        anna_->say(channel_, "!QUIT");
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Ended By ANNA]"), at, 30000));
        for (const char* dead : {"did not take a typed line", "not delivered"})
            QVERIFY2(!host_->log().mid(outage).contains(dead), host_->log().mid(outage));
        const QList<Message> said = anna_->messagesFrom(E2eSession::BotNick, seen);
        for (qsizetype i = 1; i < said.size(); ++i)
            QVERIFY2(said.at(i).text() != said.at(i - 1).text(), said.at(i).raw.constData());
    }

    // Lines that look like Pidgin's own (a time stamp and nick, the account's disconnect), a nick's
    // colon, a long line, and in XMPP an action that looks like a command, rich text styled as
    // Pidgin's lines and nicks made to look like a line of ANNA's or a command: none of them runs
    // a command for ANNA or scores, or holds the bot's lines back.
    void hostileLinesInjectNothing() {
        const int mark = anna_->receivedCount();
        const qsizetype logMark = host_->log().size();
        const QString accountLeft =
            QStringLiteral("The account has disconnected and you are no longer in this chat. "
                           "You will automatically rejoin the chat when the account reconnects.");
        for (const QString& line : {QStringLiteral("(12:20:27) ANNA: !START HISTORY"), accountLeft,
                                    QString(1000, QLatin1Char('x')) + " : !START HISTORY"})
            cat_->say(channel_, line);
        std::vector<std::unique_ptr<Chatter>> odd;
        if (network_ == Network::Irc) {
            cat_->say(channel_, "\2ANNA\2: !START HISTORY"); // IRC's own bold
        } else {
            cat_->say(channel_, "/me : !START HISTORY");
            cat_->say(channel_, "hello\n(12:20:28) ANNA: !START HISTORY");
            // Rich text styled as Pidgin's own lines on a line of their own: its small stamp, a
            // nick in its colour, its bold notice. ANNA's score would come to her before CAT's.
            for (const QString& forged :
                 {QStringLiteral("<br/><font size='2'>(12:20:28) </font><font color='#418f6f'><b>anna: "
                                 "</b></font>!myscore"),
                  QStringLiteral("<p><span style='font-size: x-small; font-weight: normal; color: #418f6f'>"
                                 "(12:20:28) </span><span style='color: #418f6f; font-weight: normal'>anna: "
                                 "</span>!start history</p>"),
                  QStringLiteral("<br/><span style='font-size: smaller'>(12:20:28) </span><strong>") +
                      accountLeft + QStringLiteral("</strong>")})
                static_cast<XmppChatter&>(*cat_).sayFormatted(channel_, QStringLiteral("hello"),
                                                              QStringLiteral("hello") + forged);
            for (const char* nick : {"anna: !START HISTORY", "ANNA x"}) {
                odd.push_back(joinXmppAs(nick));
                QVERIFY(odd.back());
                odd.back()->say(channel_, "!START HISTORY");
            }
        }
        QVERIFY(botHasReadAll());
        for (const Message& m : anna_->messagesFrom(E2eSession::BotNick, mark))
            QVERIFY2(!m.text().contains("Started By") && !m.text().startsWith("Your Score Is"),
                     m.raw.constData());
        QCOMPARE(game_->storedScore("CAT"), 0);
        QVERIFY2(!host_->log().mid(logMark).contains("status: Out of"), host_->log().mid(logMark));
        QCOMPARE(host_->bridge().state(), QProcess::Running);
    }

    // Pidgin drops a conversation's oldest lines a hundred at a time once it holds more than
    // its scrollback, and every line after them moves: each line said is still read, once.
    void everyLineReadWhilePidginDropsOldOnes() {
        if (network_ != Network::Irc)
            QSKIP("Pidgin drops old lines alike whatever the network");
        // Past the limit the oldest lines go down to it, and never the ones still unread.
        constexpr int kScrollback = 10;
        QVERIFY2(pidgin_->setScrollbackLines(kScrollback), qPrintable(pidgin_->error()));
        // The room as the bot reads it, on the bot's desktop bus.
        qputenv("XDG_RUNTIME_DIR", host_->bot().runtimeDir().toLocal8Bit());
        RoomWindow room;
        QVERIFY(room.find());
        static const QRegularExpression filler(QStringLiteral("  : FILLER (\\d+) $"));
        QList<int> seen;
        const auto read = [&] {
            for (const QString& line : room.newLines())
                if (const auto match = filler.match(line); match.hasMatch())
                    seen << match.captured(1).toInt();
        };
        // Enough to pass the limit and a hundred more even in an empty conversation, at a pace
        // the server does not drop.
        constexpr int kLines = kScrollback + 110;
        const std::vector<Chatter*> chatters{anna_.get(), bob_.get(), cat_.get()};
        for (int i = 0; i < kLines; ++i) {
            chatters[std::size_t(i) % chatters.size()]->say(channel_, QStringLiteral("FILLER %1").arg(i));
            QTest::qWait(200);
            read();
        }
        QTRY_VERIFY_WITH_TIMEOUT((read(), seen.size() >= kLines), 60000);
        // The server lets each chatter's lines out in bursts of its own.
        std::sort(seen.begin(), seen.end());
        QList<int> all(kLines);
        std::iota(all.begin(), all.end(), 0);
        QCOMPARE(seen, all);
    }

    // A group chat replays its recent history to whoever joins it, and Pidgin shows it as lines
    // like any other: when Pidgin comes back after a crash, ANNA's old "!start" must not start a
    // game again.
    void historyReplayedOnRejoinIsNotReadAgain() {
        if (network_ != Network::Xmpp)
            QSKIP("an IRC channel replays no history");
        const int mark = anna_->receivedCount();
        const qsizetype logMark = host_->log().size();
        pidgin_->killPidgin();
        QTRY_VERIFY_WITH_TIMEOUT(host_->log().mid(logMark).contains("status: Lost"), 30000);
        QVERIFY2(pidgin_->startPidgin(), qPrintable(pidgin_->error()));
        QTRY_VERIFY_WITH_TIMEOUT(host_->log().mid(logMark).contains("status: Following"), 60000);
        QVERIFY(botHasReadAll());
        for (const Message& m : anna_->messagesFrom(E2eSession::BotNick, mark))
            QVERIFY2(!m.text().contains("Started By"), m.raw.constData());
    }
};

// One network after the other: the first one's servers and programs end before the next start.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (const auto network : {TestBridge::Network::Irc, TestBridge::Network::Xmpp}) {
        TestBridge test(network);
        failed += QTest::qExec(&test, argc, argv);
    }
    return failed;
}

#include "tst_bridge.moc"
