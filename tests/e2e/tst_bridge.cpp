#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/PidginSession.h"
#include "tests/support/ProsodyServer.h"
#include "tests/support/XmppChatter.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Message = Chatter::Message;

// The real bot hosting in Pidgin: a real server, Pidgin joined to its room on a private X
// server and accessibility bus, palvuro-bridge offering the bot Pidgin's conversation, the bot
// with no display, and chatters that are connections of their own. One session per network
// plays the game, then the hostile lines: an IRC channel on ircd-hybrid, then an XMPP group
// chat on Prosody, whose chatters go by lower-case nicks that may hold blanks and colons.
class TestBridge : public QObject {
    Q_OBJECT
public:
    enum class Network { Irc, Xmpp };
    explicit TestBridge(Network network) : network_(network) {}

private:
    const Network network_;
    // Where chatters say their lines, and the conversation's name as Pidgin's tab shows it.
    QString channel_, conversation_;
    const QHash<QString, QString> answers_{{"WHO WAS THE FIRST EMPEROR OF ROME?", "AUGUSTUS"},
                                           {"IN WHICH YEAR DID THE BERLIN WALL FALL?", "1989"}};
    IrcServer ircServer_;
    ProsodyServer xmppServer_;
    int xmppAccounts_ = 0;
    std::unique_ptr<Chatter> anna_, bob_, cat_;
    std::unique_ptr<PidginSession> pidgin_;
    std::unique_ptr<E2eSession> bot_;
    QProcess bridge_;
    QByteArray bridgeLog_;

    IrcChatter::Match botSays(const QString& text = {}) const {
        return [this, text](const Message& m) {
            return m.command == "PRIVMSG" && m.nick == E2eSession::BotNick && m.params.value(0) == channel_ &&
                   (text.isNull() || m.text() == text);
        };
    }
    std::optional<Message> nextBotLine(int* at, int timeoutMs = 20000) const {
        return anna_->waitFor(botSays(), *at + 1, timeoutMs, at);
    }
    std::optional<Message> nextQuestion(int* at) const {
        for (auto line = nextBotLine(at); line; line = nextBotLine(at))
            if (answers_.contains(line->text()))
                return line;
        return std::nullopt;
    }
    qint64 score(const QString& nick) const {
        std::optional<qint64> points;
        TriviaDatabase(bot_->dataFolder()).lookupScore(nick, &points);
        return points.value_or(0);
    }
    QByteArray bridgeLog() {
        bridgeLog_ += bridge_.readAllStandardError();
        return bridgeLog_;
    }
    bool startBridge() {
        QProcessEnvironment env = pidgin_->environment();
        env.insert("XDG_RUNTIME_DIR", bot_->runtimeDir()); // the desktop bus the bot looks on
        env.insert("QT_QPA_PLATFORM", "offscreen");
        bridge_.setProcessEnvironment(env);
        bridge_.start(QString(qgetenv("PALVURO_BIN_DIR")) + "/palvuro-bridge",
                      {"--conversation", conversation_});
        return bridge_.waitForStarted(10000);
    }
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
        channel_ = ProsodyServer::roomAddress("trivia");
        conversation_ = QStringLiteral("trivia");
        for (auto [chatter, nick] : {std::pair{&anna_, "anna"}, {&bob_, "bob"}, {&cat_, "cat"}}) {
            *chatter = joinXmppAs(nick);
            QVERIFY2(*chatter, qPrintable(xmppServer_.error()));
        }
        QVERIFY(xmppServer_.addAccount("trivia"));
        pidgin_ = std::make_unique<PidginSession>(
            xmppServer_.port(), channel_, E2eSession::BotNick,
            PidginSession::XmppLogin{QStringLiteral("trivia@") + ProsodyServer::Domain,
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

private Q_SLOTS:
    void cleanup() {
        if (!QTest::currentTestFailed() || !anna_)
            return;
        qWarning().noquote() << anna_->dump(qMax(0, anna_->receivedCount() - 40)) << "the bridge:\n"
                             << bridgeLog() << "the bot:\n"
                             << bot_->botLog();
    }

    void cleanupTestCase() {
        bridge_.terminate();
        bridge_.waitForFinished(5000);
    }

    void initTestCase() {
        for (const QString& why : {E2eSession::cannotRun(false), PidginSession::cannotRun()})
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
        if (!QFileInfo(QString(qgetenv("PALVURO_BIN_DIR")) + "/palvuro-bridge").isExecutable())
            QSKIP("palvuro-bridge is not built");
        network_ == Network::Irc ? joinIrc() : joinXmpp();
        if (QTest::currentTestFailed() || !pidgin_)
            return;
        QVERIFY2(pidgin_->start(), qPrintable(pidgin_->error()));
        QVERIFY2(anna_->waitFor(
                     [](const Message& m) { return m.command == "JOIN" && m.nick == E2eSession::BotNick; }, 0,
                     30000),
                 "Pidgin did not join the room");

        bot_ = std::make_unique<E2eSession>();
        bot_->setHeadless();
        // Time for an answer to come through Pidgin even when it stalls a moment after a line
        // the bridge typed.
        bot_->setTimings(10, 2);
        QVERIFY2(bot_->prepare(), qPrintable(bot_->error()));
        QVERIFY(startBridge());
        QTRY_VERIFY2_WITH_TIMEOUT(
            bridgeLog().contains("status: Following " + conversation_.toUtf8() + " in Pidgin"), bridgeLog(),
            30000);
        QVERIFY2(bot_->startBot(), qPrintable(bot_->error()));
        QTRY_VERIFY2_WITH_TIMEOUT(bot_->botLog().contains("connected to the chat client as \"TRIVIA\""),
                                  qPrintable(bot_->botLog()), 30000);
    }

    void wholeGame() {
        int at = anna_->receivedCount() - 1;
        anna_->say(channel_, "!start history");
        QVERIFY(anna_->waitFor(botSays("[Trivia Bot Started By ANNA]"), at + 1, 20000, &at));
        // BOB answers as soon as the hint is out. A line said within milliseconds of one the
        // bridge just typed can reach the bridge seconds late (Pidgin shows it late); should it
        // come too late, BOB answers the next question.
        bool scored = false;
        for (int round = 0; round < 3 && !scored; ++round) {
            const auto question = nextQuestion(&at);
            QVERIFY(question);
            QVERIFY(anna_->waitFor(
                [this](const Message& m) { return botSays()(m) && m.text().startsWith("HINT: "); }, at, 20000,
                &at));
            bob_->say(channel_, answers_.value(question->text()).toLower());
            while (!scored) {
                const auto line = nextBotLine(&at);
                QVERIFY(line);
                scored = line->text() == "(*)BOB (*) Is Correct, Your Score Is [ 1 ]";
                if (line->text().startsWith("Times Up!"))
                    break;
            }
        }
        QVERIFY2(scored, "no answer of BOB's counted in three questions");
        QCOMPARE(score("BOB"), 1);
        // The text's CR LF made two messages.
        QCOMPARE(nextBotLine(&at)->text(), "2 Seconds Until Next Question.");

        QVERIFY(nextQuestion(&at));
        QVERIFY(nextBotLine(&at)->text().startsWith("HINT: "));
        QCOMPARE(nextBotLine(&at)->text(), "Times Up! Not Answered.");
        QCOMPARE(nextBotLine(&at)->text(), "2 Seconds Until Next Question.");

        // The top list comes to CAT alone, one message per player, best first, no bold markers.
        TriviaDatabase db(bot_->dataFolder());
        qint64 first = 0;
        QVERIFY(db.scoreCorrectAnswer("DORA", &first) == DbStatus::Ok &&
                db.setScore("DORA", 9) == DbStatus::Ok);
        const int catMark = cat_->receivedCount();
        cat_->say(channel_, "!TOP");
        const auto toCat = [this](const Message& m) {
            return m.command == "PRIVMSG" && m.nick == E2eSession::BotNick &&
                   m.params.value(0) == cat_->nick();
        };
        QVERIFY(cat_->waitFor([&](const Message& m) { return toCat(m) && m.text() == "BOB 1"; }, catMark));
        QStringList top;
        for (const Message& m : cat_->messagesFrom(E2eSession::BotNick, catMark))
            if (toCat(m))
                top << m.text();
        QCOMPARE(top, QStringList({"DORA 9", "BOB 1"}));

        anna_->say(channel_, "!QUIT");
        QVERIFY(anna_->waitFor(botSays("[Trivia Ended By ANNA]"), at, 20000, &at));
    }

    // Lines that look like Pidgin's own (a time stamp and nick, a notice), an action that looks
    // like a command, a nick's colon, a long line, and in XMPP nicks made to look like a line
    // of ANNA's or a command: none of them starts a game for ANNA or scores.
    void hostileLinesInjectNothing() {
        const int mark = anna_->receivedCount();
        for (const QString& line : {QStringLiteral("(12:20:27) ANNA: !START HISTORY"),
                                    QStringLiteral("ANNA [~anna@127.0.0.1] entered the room."),
                                    QString(1000, QLatin1Char('x')) + " : !START HISTORY"})
            cat_->say(channel_, line);
        std::vector<std::unique_ptr<Chatter>> odd;
        if (network_ == Network::Irc) {
            const QByteArray say = "PRIVMSG " + channel_.toUtf8() + " :";
            cat_->sendRaw(say + "\x01"
                                "ACTION : !START HISTORY\x01");
            cat_->sendRaw(say + "\x02"
                                "ANNA\x02: !START HISTORY");
        } else {
            cat_->say(channel_, "/me : !START HISTORY");
            cat_->say(channel_, "hello\n(12:20:28) ANNA: !START HISTORY");
            for (const char* nick : {"ANNA  : !START HISTORY", "anna: !START HISTORY", "ANNA x"}) {
                odd.push_back(joinXmppAs(nick));
                QVERIFY(odd.back());
                odd.back()->say(channel_, "!START HISTORY");
            }
        }
        QVERIFY(botHasReadAll());
        for (const Message& m : anna_->messagesFrom(E2eSession::BotNick, mark))
            QVERIFY2(!m.text().contains("Started By"), m.raw.constData());
        QCOMPARE(score("CAT"), 0);
        QCOMPARE(bridge_.state(), QProcess::Running);
    }

    // A group chat replays its recent history to whoever joins it, and Pidgin shows it as lines
    // like any other: when Pidgin comes back after a crash, ANNA's old "!start" must not start a
    // game again.
    void historyReplayedOnRejoinIsNotReadAgain() {
        if (network_ != Network::Xmpp)
            QSKIP("an IRC channel replays no history");
        const int mark = anna_->receivedCount();
        const qsizetype logMark = bridgeLog().size();
        pidgin_->killPidgin();
        QTRY_VERIFY_WITH_TIMEOUT(bridgeLog().mid(logMark).contains("status: Lost"), 30000);
        QVERIFY2(pidgin_->startPidgin(), qPrintable(pidgin_->error()));
        QTRY_VERIFY_WITH_TIMEOUT(bridgeLog().mid(logMark).contains("status: Following"), 60000);
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
