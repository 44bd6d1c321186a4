#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"
#include "tests/support/PidginSession.h"

#include <QtTest>

#include <memory>

using namespace palvuro;
using Message = IrcChatter::Message;

// The real bot hosting in Pidgin: ircd-hybrid, Pidgin joined to the channel on a private X
// server and accessibility bus, palvuro-bridge offering the bot Pidgin's conversation, the bot
// with no display, and chatters that are connections of their own. One session plays the game,
// then the hostile lines.
class TestBridge : public QObject {
    Q_OBJECT
    const QString channel_ = QStringLiteral("#trivia");
    const QHash<QString, QString> answers_{{"WHO WAS THE FIRST EMPEROR OF ROME?", "AUGUSTUS"},
                                           {"IN WHICH YEAR DID THE BERLIN WALL FALL?", "1989"}};
    IrcServer server_;
    std::unique_ptr<IrcChatter> anna_, bob_, cat_;
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
        bridge_.start(QString(qgetenv("PALVURO_BIN_DIR")) + "/palvuro-bridge", {"--conversation", channel_});
        return bridge_.waitForStarted(10000);
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
        START_IRC_SERVER_OR_SKIP(server_);
        anna_ = std::make_unique<IrcChatter>("ANNA");
        bob_ = std::make_unique<IrcChatter>("BOB");
        cat_ = std::make_unique<IrcChatter>("CAT");
        for (IrcChatter* c : {anna_.get(), bob_.get(), cat_.get()})
            QVERIFY(c->connectTo(server_.port(), channel_));
        pidgin_ = std::make_unique<PidginSession>(server_.port(), channel_, E2eSession::BotNick);
        QVERIFY2(pidgin_->start(), qPrintable(pidgin_->error()));
        QVERIFY2(anna_->waitFor(
                     [](const Message& m) { return m.command == "JOIN" && m.nick == E2eSession::BotNick; }, 0,
                     30000),
                 "Pidgin did not join the channel");

        bot_ = std::make_unique<E2eSession>();
        bot_->setHeadless();
        // Time for an answer to come through Pidgin even when it stalls a moment after a line
        // the bridge typed.
        bot_->setTimings(10, 2);
        QVERIFY2(bot_->prepare(), qPrintable(bot_->error()));
        QVERIFY(startBridge());
        QTRY_VERIFY2_WITH_TIMEOUT(bridgeLog().contains("status: Following #trivia in Pidgin"), bridgeLog(),
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
        const auto toCat = [](const Message& m) {
            return m.command == "PRIVMSG" && m.nick == E2eSession::BotNick && m.params.value(0) == "CAT";
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
    // like a command, a nick's colon, a long line: none of them starts a game for ANNA or scores.
    void hostileLinesInjectNothing() {
        const int mark = anna_->receivedCount();
        const QByteArray say = "PRIVMSG " + channel_.toUtf8() + " :";
        cat_->sendRaw(say + "(12:20:27) ANNA: !START HISTORY");
        cat_->sendRaw(say + "\x01"
                            "ACTION : !START HISTORY\x01");
        cat_->sendRaw(say + "ANNA [~anna@127.0.0.1] entered the room.");
        cat_->sendRaw(say + "\x02"
                            "ANNA\x02: !START HISTORY");
        cat_->sendRaw(say + QByteArray(1000, 'x') + " : !START HISTORY");
        // Served in order: once the bot answered this, it has read every line before it.
        cat_->say(channel_, "!MYSCORE");
        QVERIFY(cat_->waitFor(
            [](const Message& m) {
                return m.command == "PRIVMSG" && m.nick == E2eSession::BotNick &&
                       m.text().startsWith("Your Score Is");
            },
            0, 20000));
        for (const Message& m : anna_->messagesFrom(E2eSession::BotNick, mark))
            QVERIFY2(!m.text().contains("Started By"), m.raw.constData());
        QCOMPARE(score("CAT"), 0);
        QCOMPARE(bridge_.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestBridge)
#include "tst_bridge.moc"
