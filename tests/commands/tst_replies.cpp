#include "tests/commands/BotRig.h"

#include <QtTest>

using namespace palvuro;

namespace {

const QString NotStarted = "Trivia Not Started, Category Wasn't Specified Correctly.";

// The one line the bot says, as "/msg TO text" when private; none when empty.
void addReply(const char* tag, const char* nick, const char* message, const QString& reply = {}) {
    QTest::newRow(tag) << QString(nick) << QString(message) << reply;
}

} // namespace

class TestReplies : public QObject {
    Q_OBJECT
    std::unique_ptr<BotRig> scored_; // ANNA 4, BOB 12; shared by the rows of `reply`

private Q_SLOTS:
    void reply_data() {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reply");
        addReply("!MYSCORE", "bob", "!myscore", "/msg BOB <b>Your Score Is 12</b>");
        addReply("!GETUSERSCORE, more text", "Zed", "!GETUSERSCORE nobody please",
                 "/msg ZED <b>NOBODY's Score Is Zero</b>");
        addReply("!GETUSERSCORE, two blanks", "Zed", "!GETUSERSCORE  ANNA",
                 "/msg ZED <b>'s Score Is Zero</b>");
        addReply("!GETUSERSCORE, no nick", "Zed", "!GETUSERSCORE",
                 "/msg ZED <b>Command Wasn't Specified Correctly.</b>");
        for (const char* ignored :
             {"!TOP10", "!TOP please", "!HELP me", "!CATEGORIES now", "!Q", "!QUESTION"})
            addReply(ignored, "Zed", ignored);
        addReply("!QUIT outside a game", "anna", "!QUIT", "[Trivia Ended By ANNA]");
        addReply("!START not first in the message", "Anna", "go !START HISTORY");
        addReply("!START, no category", "Anna", "!START", NotStarted);
        addReply("!TOP !START ART reads TART", "Anna", "!TOP !START ART", NotStarted);
        addReply("!START with more words", "Anna", "!Start History now", "[Trivia Bot Started By ANNA]");
    }
    void reply() {
        if (!scored_)
            scored_ = std::make_unique<BotRig>(true);
        QFETCH(QString, nick);
        QFETCH(QString, message);
        QFETCH(QString, reply);
        scored_->said.clear();
        scored_->say(nick, message);
        QCOMPARE(scored_->saidTexts(), reply.isEmpty() ? QStringList() : QStringList{reply});
        if (scored_->bot.session().isRunning())
            scored_->bot.stopTrivia(); // the next row starts outside a game
    }

    // "!TOP" without scores and with twelve players', then "!START" without a users file.
    void freshFolder() {
        BotRig rig;
        rig.say("Zed", "!TOP");
        QCOMPARE(rig.desk.privateTexts(), QStringList{"ZED <b>Thier Are No Scores Yet</b>"});
        TriviaDatabase db(rig.dir.path());
        for (int i = 1; i <= 12; ++i) {
            for (qint64 n = 0, score = 0; n < i; ++n)
                db.scoreCorrectAnswer(QString("P%1").arg(i, 2, 10, QChar('0')), &score);
        }
        rig.say("Zed", "!TOP");
        QString expected = "ZED <b>\r\n";
        for (int i = 12; i >= 3; --i)
            expected += QString("P%1 %2\r\n").arg(i, 2, 10, QChar('0')).arg(i);
        QCOMPARE(rig.desk.privateTexts().last(), expected + "</b>");
        QVERIFY(QFile::remove(UsersList(rig.dir.path()).filePath()));
        rig.say("Anna", "!START HISTORY");
        QCOMPARE(rig.botLines(), (QStringList{"No Authorized Users Assigned", "Unauthorized User!"}));
        QVERIFY(!rig.bot.session().isRunning());
    }
};

QTEST_GUILESS_MAIN(TestReplies)
#include "tst_replies.moc"
