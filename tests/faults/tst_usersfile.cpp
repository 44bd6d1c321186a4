// "Users List.txt" as no editor writes it: a chatter's !START agrees with the users editor's
// load, and saving what was loaded keeps the names as they were.
#include "tests/support/BotDriver.h"
#include "tests/support/TestFiles.h"

#include <QtTest>

using namespace palvuro;

class TstUsersFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oddFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("annaAuthorized");
        QTest::addColumn<int>("names"); // -1: not counted
        QTest::addColumn<QString>("lastName");
        const qsizetype tenMb = 10 << 20;
        QByteArray records;
        for (int i = 0; records.size() < tenMb; ++i)
            records += "\"user" + QByteArray::number(i) + "\"\r\n";
        QTest::newRow("NUL inside a name")
            << QByteArray("\"An\0na\"\r\n\"Bob\"\r\n", 16) << false << 2 << "Bob";
        QTest::newRow("10 MB of records, Anna last") << records + "\"Anna\"\r\n" << true << -1 << "Anna";
        QTest::newRow("10 MB without a line end")
            << QByteArray(tenMb, 'x') << false << 1 << QString(tenMb, 'x');
        QTest::newRow("10 MB in one open quote")
            << QByteArray("\"") + QByteArray(tenMb, 'A') + "\r\n\"Anna\"\r\n"
            << false << 1 << QString(tenMb, 'A') + "\r\n";
        // The quote runs to the next one, the rest of that line is passed over.
        QTest::newRow("quote open before Anna")
            << QByteArray("\"Bob\r\n\"Anna\"\r\n") << false << 1 << "Bob\r\n";
        QTest::newRow("quote open at the end") << QByteArray("\"Bob\"\r\n\"Anna") << true << 2 << "Anna";
    }
    void oddFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, annaAuthorized);
        QFETCH(int, names);
        QFETCH(QString, lastName);
        QTemporaryDir dir;
        QVERIFY(BotDriver::prepareFolder(dir.path()));
        const UsersList list(dir.path());
        QVERIFY(TestFiles::write(list.filePath(), bytes));
        BotDriver bot(dir.path());
        bot.say("Anna", "!START HISTORY");
        QCOMPARE(bot.botLines(),
                 QStringList{annaAuthorized ? "[Trivia Bot Started By ANNA]" : "Unauthorized User!"});
        const QStringList loaded = list.load();
        QVERIFY(names < 0 || loaded.size() == names);
        QCOMPARE(loaded.last(), lastName);
        QVERIFY(list.save(loaded));
        QCOMPARE(UsersList::parse(TestFiles::read(list.filePath())), loaded);
    }
};

QTEST_GUILESS_MAIN(TstUsersFile)
#include "tst_usersfile.moc"
