#include "tests/commands/BotRig.h"

#include <QFile>
#include <QtTest>

using namespace palvuro;

namespace {

const QString NotStarted = "Trivia Not Started, Category Wasn't Specified Correctly.";
const QString Help = "<b>COMMANDS ARE;\r\n!Start Category\r\n!Categories\r\n!Top\r\n!Q\r\n!MyScore"
                     "\r\n!GetUsersScore UsersNickName\r\n!Quit</b>";

} // namespace

class TestReplies : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reply_data();
    void reply();
    void topListsTenAtMost();
    void usersFileMissing();
    void databaseUnusable_data();
    void databaseUnusable();
};

void TestReplies::reply_data() {
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("room");  // what the bot says to the room
    QTest::addColumn<QString>("privately"); // "TO text", or empty
    const QStringList none;
    QTest::newRow("!TOP") << "Zed"
                          << "!TOP" << none << "ZED <b>\r\nANN 12\r\nBOB 7\r\nCAT 3\r\n</b>";
    QTest::newRow("!MYSCORE") << "bob"
                              << "!myscore" << none << "BOB <b>Your Score Is 7</b>";
    QTest::newRow("!MYSCORE, never scored") << "Zed"
                                            << "!MyScore" << none << "ZED <b>Your Score Is Zero</b>";
    QTest::newRow("!GETUSERSCORE") << "Zed"
                                   << "!getuserscore ann" << none << "ZED <b>ANN's Score Is 12</b>";
    QTest::newRow("!GETUSERSCORE, more text")
        << "Zed"
        << "!GETUSERSCORE nobody please" << none << "ZED <b>NOBODY's Score Is Zero</b>";
    QTest::newRow("!GETUSERSCORE, two blanks")
        << "Zed"
        << "!GETUSERSCORE  ANN" << none << "ZED <b>'s Score Is Zero</b>";
    QTest::newRow("!GETUSERSCORE, no nick")
        << "Zed"
        << "!GETUSERSCORE" << none << "ZED <b>Command Wasn't Specified Correctly.</b>";
    QTest::newRow("!GETUSERSCORE, quote")
        << "Zed"
        << "!GETUSERSCORE ' OR 1=1 --" << none << "ZED <b>''s Score Is Zero</b>";
    QTest::newRow("!HELP") << "Zed"
                           << "!help" << none << "ZED " + Help;
    QTest::newRow("!CATEGORIES")
        << "Zed"
        << "!CATEGORIES" << QStringList{"CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n"} << "";
    for (const char* ignored : {"!TOP10", "!TOP please", "!HELP me", "!CATEGORIES now", "!Q", "!QUESTION"})
        QTest::newRow(ignored) << "Zed" << ignored << none << "";
    QTest::newRow("!START, unauthorized") << "Zed"
                                          << "!START HISTORY" << QStringList{"Unauthorized User!"} << "";
    QTest::newRow("!QUIT, unauthorized") << "Zed"
                                         << "!QUIT" << QStringList{"Unauthorized User!"} << "";
    QTest::newRow("!QUIT outside a game") << "anna"
                                          << "!QUIT" << QStringList{"[Trivia Ended By ANNA]"} << "";
    QTest::newRow("!START, no category") << "Anna"
                                         << "!START" << QStringList{NotStarted} << "";
    QTest::newRow("!START, unknown category") << "Anna"
                                              << "!START NOSUCH" << QStringList{NotStarted} << "";
    QTest::newRow("!TOP !START ART reads TART") << "Anna"
                                                << "!TOP !START ART" << QStringList{NotStarted} << "";
    QTest::newRow("hostile category")
        << "Anna"
        << "!START ART]; DROP TABLE Psystem; --" << QStringList{NotStarted} << "";
    QTest::newRow("hostile quoted category")
        << "Anna"
        << "!START \"ART\";DELETE/**/FROM/**/Psystem;--" << QStringList{NotStarted} << "";
    QTest::newRow("!START with more words")
        << "Anna"
        << "!Start History now" << QStringList{"[Trivia Bot Started By ANNA]"} << "";
}

void TestReplies::reply() {
    QFETCH(QString, nick);
    QFETCH(QString, message);
    QFETCH(QStringList, room);
    QFETCH(QString, privately);
    BotRig rig;
    rig.setScore("ANN", 12);
    rig.setScore("BOB", 7);
    rig.setScore("CAT", 3);

    rig.say(nick, message);
    QCOMPARE(rig.botLines(), room);
    QCOMPARE(rig.privateTexts(), privately.isEmpty() ? QStringList() : QStringList{privately});

    // Nothing said in the room touches rows or tables it does not name.
    TriviaDatabase db(rig.dir.path());
    QList<TriviaDatabase::Score> top;
    QStringList categories;
    QCOMPARE(db.topScores(&top), DbStatus::Ok);
    QCOMPARE(top.size(), 3);
    QCOMPARE(db.listCategories(&categories), DbStatus::Ok);
    QCOMPARE(categories, (QStringList{"ART", "EMPTY", "HISTORY"}));
}

void TestReplies::topListsTenAtMost() {
    BotRig rig;
    rig.say("Zed", "!TOP");
    QCOMPARE(rig.privateTexts(), QStringList{"ZED <b>Thier Are No Scores Yet</b>"});
    for (int i = 1; i <= 12; ++i)
        rig.setScore(QString("P%1").arg(i, 2, 10, QChar('0')), i);
    rig.say("Zed", "!TOP");
    QString expected = "ZED <b>\r\n";
    for (int i = 12; i >= 3; --i)
        expected += QString("P%1 %2\r\n").arg(i, 2, 10, QChar('0')).arg(i);
    QCOMPARE(rig.privateTexts().last(), expected + "</b>");
}

void TestReplies::usersFileMissing() {
    BotRig rig;
    QVERIFY(QFile::remove(UsersList(rig.dir.path()).filePath()));
    rig.say("Anna", "!START HISTORY");
    QCOMPARE(rig.botLines(), (QStringList{"No Authorized Users Assigned", "Unauthorized User!"}));
    QVERIFY(!rig.state.gameRunning);
}

void TestReplies::databaseUnusable_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("room");
    QTest::addColumn<QStringList>("privately");
    QTest::newRow("!TOP") << "!TOP" << QStringList() << QStringList{"ANNA <b>Thier Are No Scores Yet</b>"};
    QTest::newRow("!MYSCORE") << "!MYSCORE" << QStringList() << QStringList();
    QTest::newRow("!GETUSERSCORE") << "!GETUSERSCORE BOB" << QStringList() << QStringList();
    QTest::newRow("!CATEGORIES") << "!CATEGORIES" << QStringList() << QStringList();
    QTest::newRow("!START") << "!START HISTORY" << QStringList{NotStarted} << QStringList();
}

void TestReplies::databaseUnusable() {
    QFETCH(QString, message);
    QFETCH(QStringList, room);
    QFETCH(QStringList, privately);
    BotRig rig;
    QFile file(rig.dir.filePath(TriviaDatabase::fileName()));
    QFile::remove(file.fileName() + "-wal");
    QFile::remove(file.fileName() + "-shm");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(4096, 'x')); // not a database
    file.close();
    rig.say("Anna", message);
    QCOMPARE(rig.botLines(), room);
    QCOMPARE(rig.privateTexts(), privately);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(4096, 'x')); // left as it was
}

QTEST_GUILESS_MAIN(TestReplies)
#include "tst_replies.moc"
