#include "data/TriviaDatabase.h"
#include "tests/support/ChannelGame.h"
#include "tests/support/E2eSession.h"
#include "tests/support/IrcChatter.h"
#include "tests/support/IrcServer.h"

#include <QtTest>

#include <memory>
#include <vector>

using namespace palvuro;
using Message = IrcChatter::Message;
using Crowd = std::vector<std::unique_ptr<IrcChatter>>;

// The real bot hosting a game in a real channel: ircd-hybrid, palvuro-chat joined to it, the
// bot attached to palvuro-chat on a private X server, and chatters that are connections of
// their own. One session plays every case in order; hostile chatters, a crowd and the server's
// restart come while its game runs, and at last the operator at the keyboard of the running bot
// (the tray and a second copy are left to the main window's suite). The menu is driven as a
// person without a mouse does: alt+f, then an item's mnemonic.
class TestIrcGame : public QObject {
    Q_OBJECT
    const QString channel_ = QStringLiteral("#trivia");
    IrcServer server_;
    std::unique_ptr<IrcChatter> anna_, bob_, cat_;
    std::unique_ptr<E2eSession> room_;
    std::unique_ptr<ChannelGame> game_; // as ANNA sees it
    int botJoinedAt_ = 0;               // ANNA's index of the bot's JOIN

    bool joinAll() {
        for (IrcChatter* c : {anna_.get(), bob_.get(), cat_.get()})
            if (!c->connectTo(server_.port(), channel_))
                return false;
        return true;
    }
    bool joinCrowd(Crowd& crowd, const QString& prefix, int size) {
        for (int i = 1; i <= size; ++i) {
            crowd.push_back(std::make_unique<IrcChatter>(prefix + QString::number(i)));
            if (!crowd.back()->connectTo(server_.port(), channel_))
                return false;
        }
        return true;
    }
    // BOB answers the next question the bot asks after *at, just after BEFOREANSWER ran; true when
    // the bot announces him.
    bool bobAnswersNext(int* at, const std::function<void()>& beforeAnswer) {
        const auto question = game_->nextQuestion(at, 60000);
        if (!question)
            return false;
        beforeAnswer();
        bob_->say(channel_, game_->answerTo(*question).toLower());
        return game_->scored(*bob_, at, 60000);
    }

private Q_SLOTS:
    void cleanup() {
        if (!QTest::currentTestFailed() || !anna_ || !room_)
            return;
        qWarning().noquote() << anna_->dump(qMax(0, anna_->receivedCount() - 60))
                             << cat_->dump(qMax(0, cat_->receivedCount() - 20)) << "the room:\n"
                             << room_->dump(qMax(0, room_->roomSize() - 60));
    }

    void initTestCase() {
        const QString why = E2eSession::cannotRun();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        // ircd-hybrid silences a whole channel for seconds once it hears ten lines a second from
        // anyone: a clone army would mute the game on the server, before any client could help.
        // Every limit on a single connection, ours included, stays the server's default.
        server_.setChannelFloodCount(100000);
        START_IRC_SERVER_OR_SKIP(server_);
        anna_ = std::make_unique<IrcChatter>("ANNA");
        bob_ = std::make_unique<IrcChatter>("BOB");
        cat_ = std::make_unique<IrcChatter>("CAT");
        QVERIFY(joinAll());
        room_ = std::make_unique<E2eSession>();
        room_->setChatArguments({QStringLiteral("irc://127.0.0.1:%1/%23trivia").arg(server_.port())});
        room_->setTimings(8, E2eSession::PauseSecs);
        QVERIFY2(room_->start(), qPrintable(room_->error()));
        game_ = std::make_unique<ChannelGame>(*anna_, channel_, E2eSession::BotNick, E2eSession::answers(),
                                              room_->dataFolder());
        QVERIFY(anna_->waitFor(
            [](const Message& m) { return m.command == "JOIN" && m.nick == E2eSession::BotNick; }, 0, 15000,
            &botJoinedAt_));
    }

    void wholeGame() {
        int at = anna_->receivedCount() - 1;
        anna_->say(channel_, "!start history");
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Bot Started By ANNA]"), at + 1, 20000, &at));
        QVERIFY(game_->answers(*bob_, &at));
        QCOMPARE(game_->nextBotLine(&at)->text(), "2 Seconds Until Next Question.");

        // The top list comes to CAT alone, one message per player, best first.
        TriviaDatabase db(room_->dataFolder());
        qint64 first = 0;
        for (const auto& [nick, points] : {std::pair{"DORA", 9}, {"EVE", 5}})
            QVERIFY(db.scoreCorrectAnswer(nick, &first) == DbStatus::Ok &&
                    db.setScore(nick, points) == DbStatus::Ok);
        const int annaMark = anna_->receivedCount();
        QCOMPARE(game_->topList(*cat_, "BOB 1"), QStringList({"DORA 9", "EVE 5", "BOB 1"}));
        for (const Message& m : anna_->messagesFrom(E2eSession::BotNick, annaMark))
            QVERIFY(!m.text().contains("DORA"));
    }

    // Formatting codes, CTCP, overlong lines, bytes that are no UTF-8, a command sent to the
    // client alone and a NUL before a would-be second command: the game goes on, a coloured
    // answer counts, and the channel hears nothing from the bot that it did not say.
    void hostileChattersInjectNothing() {
        int at = anna_->receivedCount() - 1;
        QVERIFY(game_->nextQuestion(&at));
        anna_->sendRaw("PRIVMSG #trivia :\x01"
                       "ACTION !quit\x01");
        anna_->sendRaw("PRIVMSG TRIVIA :!quit");
        cat_->sendRaw("PRIVMSG #trivia :\x01VERSION\x01");
        cat_->sendRaw("PRIVMSG #trivia :" + QByteArray(1000, 'x'));
        cat_->sendRaw("PRIVMSG #trivia :caf\xe9 \xff\xfe\xc3 !q\xc3");
        cat_->sendRaw(QByteArray("PRIVMSG #trivia :!myscore\0PRIVMSG #trivia :INJECTED", 50));
        const auto question = game_->nextQuestion(&at);
        QVERIFY(question);
        bob_->sendRaw("PRIVMSG #trivia :\x02\x03"
                      "04,12" +
                      game_->answerTo(*question).toUtf8() + "\x0f");
        QVERIFY(game_->scored(*bob_, &at));

        QSet<QString> said;
        for (const E2eSession::Record& r : room_->records())
            if (r.kind == "say" && r.from.startsWith(E2eSession::BotNick))
                for (const QString& line : r.text.split("\r\n"))
                    said << line;
        for (const Message& m : anna_->received())
            if (game_->botSays()(m))
                QVERIFY2(said.contains(m.text()), qPrintable("not said by the bot: " + m.text()));
        for (const Message& m : anna_->received())
            QVERIFY(!m.text().startsWith("[Trivia Ended"));
    }

    // Three hundred chatters come during the game and leave in the same instant, then fifty
    // clones ask for a long top list at the same moment, twice: the answer said right after
    // each scores, the clones are served as the pace allows, and the bot stays on the server and
    // in the channel, never throttled or warned.
    void answersScoreThroughANetsplitAndACloneFlood() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("hundreds of connections test the server's protocol under load, not our memory");
#endif
        Crowd split, clones;
        QVERIFY(joinCrowd(split, "SPLIT", 300));
        QVERIFY(joinCrowd(clones, "CLONE", 50));
        int at = anna_->receivedCount() - 1;
        QVERIFY(bobAnswersNext(&at, [&] {
            for (const auto& chatter : split)
                chatter->sendRaw("QUIT :*.net *.split");
        }));
        QVERIFY(anna_->waitFor([](const Message& m) { return m.command == "QUIT" && m.nick == "SPLIT300"; }));

        // Each "!TOP" costs the bot ten private lines.
        TriviaDatabase db(room_->dataFolder());
        qint64 first = 0;
        for (int i = 0; i < 10; ++i)
            QVERIFY(db.scoreCorrectAnswer(QStringLiteral("SEED%1").arg(i), &first) == DbStatus::Ok &&
                    db.setScore(QStringLiteral("SEED%1").arg(i), 100 - i) == DbStatus::Ok);
        for (int round = 0; round < 2; ++round)
            QVERIFY(bobAnswersNext(&at, [&] {
                for (const auto& clone : clones)
                    clone->say(channel_, "!TOP");
            }));
        const auto served = [&] {
            for (const auto& clone : clones)
                for (const Message& m : clone->messagesFrom(E2eSession::BotNick))
                    if (m.params.value(0) == clone->nick())
                        return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(served(), 30000);

        for (int i = botJoinedAt_ + 1; i < anna_->receivedCount(); ++i) {
            const Message& m = anna_->received().at(i);
            QVERIFY2(m.nick != E2eSession::BotNick || (m.command != "QUIT" && m.command != "PART" &&
                                                       m.command != "JOIN" && m.command != "KICK"),
                     m.raw.constData());
        }
        for (const E2eSession::Record& r : room_->records())
            QVERIFY2(r.kind != "server" || (!r.text.contains("flood", Qt::CaseInsensitive) &&
                                            !r.text.contains("throttl", Qt::CaseInsensitive)),
                     qPrintable(r.text));
    }

    void serverRestartedMidGame() {
        server_.kill();
        QVERIFY2(server_.start(), qPrintable(server_.error()));
        QVERIFY(joinAll());
        int at = anna_->receivedCount() - 1;
        QVERIFY(anna_->waitFor(
            [](const Message& m) { return m.command == "JOIN" && m.nick == E2eSession::BotNick; }, at, 30000,
            &at));
        QVERIFY(game_->answers(*bob_, &at));
    }

    // The operator adds a question while a game runs; the game goes on meanwhile, and the menu's
    // exit ends it and the program.
    void editorAndExitDuringGame() {
        const int mark = room_->roomSize();
        room_->say("ANNA", "!START HISTORY");
        const auto isQuestion = [](const E2eSession::Record& r) {
            return E2eSession::answers().contains(r.text);
        };
        QVERIFY2(room_->waitFor(mark, isQuestion), room_->dump(mark));
        QVERIFY(room_->operatorMenu({"a"})); // "&Add Categories/Questions"
        const quint64 editor = room_->waitForWindow("Add Categories / Questions");
        QVERIFY(editor != 0 && room_->focus(editor));
        // Tab order: category box (the remembered ART), Delete, new category, its button,
        // question, answer, Add.
        QVERIFY(room_->keys({"Tab", "Tab", "Tab", "Tab"}) && room_->type(" what colour is the sky? "));
        QVERIFY(room_->keys({"Tab"}) && room_->type("blue") && room_->keys({"Tab", "space"}));
        TriviaDatabase db(room_->dataFolder());
        TriviaDatabase::Pair pair;
        QTRY_COMPARE_WITH_TIMEOUT(db.findPairByQuestion("ART", "WHAT COLOUR IS THE SKY?", &pair),
                                  DbStatus::Ok, 10000);
        QCOMPARE(pair.answer, QStringLiteral("BLUE"));
        QVERIFY2(room_->waitFor(room_->roomSize(), isQuestion), room_->dump(mark));

        // A burst of commands keeps replies waiting for seconds; the exit comes among them, and
        // "[Trivia Ended]" is the last the room hears of the bot.
        const int burst = room_->roomSize();
        for (int i = 0; i < 6; ++i)
            room_->say("CAT", "!MYSCORE");
        const auto reply = E2eSession::botSays("<b>Your Score Is Zero</b>", "CAT");
        QVERIFY2(room_->waitFor(burst, reply), room_->dump(mark));
        // "&Edit Scores" shares the mnemonic: the first e moves to "&Exit Trivia", Return runs it.
        QVERIFY(room_->operatorMenu({"e", "Return"}));
        int ended = 0;
        QVERIFY2(room_->waitFor(mark, E2eSession::botSays("[Trivia Ended]"), &ended), room_->dump(mark));
        // The bot may be gone already: the room's wait runs the event loop, which reaps it, and
        // waitForFinished() answers false for a process that has finished.
        QVERIFY(room_->trivia().state() == QProcess::NotRunning || room_->trivia().waitForFinished(30000));
        QCOMPARE(room_->trivia().exitStatus(), QProcess::NormalExit);
        QCOMPARE(room_->trivia().exitCode(), 0);
        const QList<E2eSession::Record> seen = room_->records();
        int replies = 0;
        for (int i = burst; i < seen.size(); ++i) {
            QVERIFY2(i <= ended || seen[i].from != E2eSession::BotNick, room_->dump(mark));
            replies += reply(seen[i]) ? 1 : 0;
        }
        QVERIFY2(replies < 6, room_->dump(mark)); // the exit did come while replies waited
    }
};

QTEST_GUILESS_MAIN(TestIrcGame)
#include "tst_ircgame.moc"
