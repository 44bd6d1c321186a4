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

namespace {

const QString kChannel = QStringLiteral("#trivia");
constexpr int kSplitSize = 300;
constexpr int kClones = 50;

using Crowd = std::vector<std::unique_ptr<IrcChatter>>;

bool joinCrowd(Crowd& crowd, const QString& prefix, int size, quint16 port) {
    for (int i = 1; i <= size; ++i) {
        crowd.push_back(std::make_unique<IrcChatter>(prefix + QString::number(i)));
        if (!crowd.back()->connectTo(port, kChannel))
            return false;
    }
    return true;
}

} // namespace

// A game in a busy channel on the real ircd-hybrid, with palvuro-chat and the real bot: a
// netsplit takes hundreds of chatters at once and a clone army floods the bot with "!TOP".
// Neither may cost a chatter's answer, the game's lines or our connection.
class TestIrcCrowd : public QObject {
    Q_OBJECT
    IrcServer server_;
    std::unique_ptr<IrcChatter> anna_, bob_;
    Crowd clones_;
    std::unique_ptr<E2eSession> room_;
    int botJoinedAt_ = 0; // ANNA's index of the bot's only JOIN

    std::unique_ptr<ChannelGame> game_; // as ANNA sees it

    // BOB answers the next question the bot asks after *at; true when the bot announces him.
    bool bobAnswersNext(int* at, const std::function<void()>& beforeAnswer) {
        const auto question = game_->nextQuestion(at, 60000);
        if (!question)
            return false;
        beforeAnswer();
        bob_->say(kChannel, game_->answerTo(*question).toLower());
        return game_->scored(*bob_, at, 60000);
    }

private Q_SLOTS:
    void cleanup() {
        if (QTest::currentTestFailed() && anna_ && room_)
            qWarning().noquote() << anna_->dump(qMax(0, anna_->receivedCount() - 80)) << "the room:\n"
                                 << room_->dump(qMax(0, room_->roomSize() - 80));
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
        for (IrcChatter* c : {anna_.get(), bob_.get()})
            QVERIFY(c->connectTo(server_.port(), kChannel));
        QVERIFY(joinCrowd(clones_, "CLONE", kClones, server_.port()));
        room_ = std::make_unique<E2eSession>();
        room_->setChatArguments({QStringLiteral("irc://127.0.0.1:%1/%23trivia").arg(server_.port())});
        room_->setTimings(8, E2eSession::PauseSecs);
        QVERIFY2(room_->start(), qPrintable(room_->error()));
        game_ = std::make_unique<ChannelGame>(*anna_, kChannel, E2eSession::BotNick, E2eSession::answers(),
                                              room_->dataFolder());
        QVERIFY(anna_->waitFor(
            [](const Message& m) { return m.command == "JOIN" && m.nick == E2eSession::BotNick; }, 0, 15000,
            &botJoinedAt_));
        // Long top lists: each "!TOP" costs the bot ten private lines.
        TriviaDatabase db(room_->dataFolder());
        qint64 first = 0;
        for (int i = 0; i < 10; ++i)
            QVERIFY(db.scoreCorrectAnswer(QStringLiteral("SEED%1").arg(i), &first) == DbStatus::Ok &&
                    db.setScore(QStringLiteral("SEED%1").arg(i), 100 - i) == DbStatus::Ok);
        int at = anna_->receivedCount() - 1;
        anna_->say(kChannel, "!start history");
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Bot Started By ANNA]"), at + 1, 30000));
    }

    // Three hundred chatters come during the game and leave in the same instant; the answer said
    // right after the split scores.
    void answerScoresThroughANetsplit() {
        Crowd split;
        QVERIFY(joinCrowd(split, "SPLIT", kSplitSize, server_.port()));
        int at = anna_->receivedCount() - 1;
        QVERIFY(bobAnswersNext(&at, [&] {
            for (const auto& chatter : split)
                chatter->sendRaw("QUIT :*.net *.split");
        }));
        QVERIFY(anna_->waitFor([](const Message& m) { return m.command == "QUIT" && m.nick == "SPLIT300"; }));
    }

    // Fifty clones ask for the top list at the same moment, twice: the game goes on before
    // their lists, the answers score, and the clones are served as the pace allows.
    void answerScoresThroughACloneFlood() {
        int at = anna_->receivedCount() - 1;
        const auto flood = [this] {
            for (const auto& clone : clones_)
                clone->say(kChannel, "!TOP");
        };
        for (int round = 0; round < 2; ++round)
            QVERIFY(bobAnswersNext(&at, flood));
        const auto served = [this] {
            for (const auto& clone : clones_)
                for (const Message& m : clone->messagesFrom(E2eSession::BotNick))
                    if (m.params.value(0) == clone->nick())
                        return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(served(), 30000);
    }

    // Through all of it the bot stayed on the server and in the channel, and the server never
    // had to throttle or warn it.
    void nothingDisconnectedUs() {
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
        int at = anna_->receivedCount() - 1;
        anna_->say(kChannel, "!QUIT");
        QVERIFY(anna_->waitFor(game_->botSays("[Trivia Ended By ANNA]"), at + 1, 60000));
    }
};

QTEST_GUILESS_MAIN(TestIrcCrowd)
#include "tst_crowd.moc"
