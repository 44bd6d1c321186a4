#include "data/UsersList.h"
#include "tests/data/DataFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace palvuro;
using namespace palvuro::datatest;

Q_DECLARE_METATYPE(palvuro::UsersList::Membership)

class UsersListTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

private Q_SLOTS:
    void cleanup() { QFile::remove(UsersList(dir_.path()).filePath()); }

    void readsFields_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("records") << QByteArray("\"Amy\"\r\n\"Ben\"\r\n") << QStringList{"Amy", "Ben"};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("comma inside quotes") << QByteArray("\"Smith, J\"\r\n") << QStringList{"Smith, J"};
        QTest::newRow("unquoted") << QByteArray("alice, bob \r\ncarl") << QStringList{"alice", "bob", "carl"};
        QTest::newRow("blank line") << QByteArray("\"A\"\r\n\r\n\"B\"\r\n") << QStringList{"A", "", "B"};
        QTest::newRow("LF and CR alone") << QByteArray("\"A\"\n\"B\"\rC\n") << QStringList{"A", "B", "C"};
        QTest::newRow("text after quote") << QByteArray("\"A\" junk,\"B\"x\r\n") << QStringList{"A", "B"};
        QTest::newRow("unterminated quote")
            << QByteArray("\"A\"\r\n\"Bob\r\nCarl, Dee") << QStringList{"A", "Bob\r\nCarl, Dee"};
        QTest::newRow("NUL bytes") << QByteArray("\"A\0B\"\r\nC\0D\r\n", 12)
                                   << QStringList{QString("A") + QChar(0) + "B",
                                                  QString("C") + QChar(0) + "D"};
        QTest::newRow("Windows-1252")
            << QByteArray("\"\x80uro \xe9t\xe9 \"\r\n") << QStringList{QString::fromUtf8("€uro été ")};
    }
    void readsFields() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QCOMPARE(UsersList::parse(bytes), names);
    }

    void testsMembership_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<UsersList::Membership>("membership");
        QTest::newRow("any case") << QByteArray("\"Ann\"\r\n\"bOb\"\r\n") << "BOB"
                                  << UsersList::Membership::Authorized;
        QTest::newRow("trailing space")
            << QByteArray("\"Bob \"\r\n") << "BOB" << UsersList::Membership::NotListed;
        QTest::newRow("non-ASCII") << QByteArray("\"J\xf6rg\"\r\n") << QString::fromUtf8("JÖRG")
                                   << UsersList::Membership::Authorized;
        QTest::newRow("blank line, empty nick")
            << QByteArray("\r\n") << "" << UsersList::Membership::Authorized;
        QTest::newRow("blank line, nick") << QByteArray("\r\n") << "BOB" << UsersList::Membership::NotListed;
    }
    void testsMembership() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, nick);
        QFETCH(UsersList::Membership, membership);
        const UsersList list(dir_.path());
        writeFile(list.filePath(), bytes);
        QCOMPARE(list.isAuthorizedUser(nick), membership);
    }

    void missingFileIsUnreadableUntilLoadCreatesIt() {
        const UsersList list(dir_.path());
        QCOMPARE(list.isAuthorizedUser("BOB"), UsersList::Membership::FileUnreadable);
        QCOMPARE(list.load(), QStringList{});
        QVERIFY(QFile::exists(list.filePath()));
        QCOMPARE(list.isAuthorizedUser("BOB"), UsersList::Membership::NotListed);
    }

    void savesRecordsWithoutDeletedEntries() {
        const UsersList list(dir_.path());
        const QStringList entries{"Amy",      UsersList::deletedMarker(), "Ben",
                                  "Smith, J", "*****deleted*****",        QString::fromUtf8("€ é\r\n")};
        QVERIFY(list.save(entries));
        QCOMPARE(fileBytes(list.filePath()),
                 QByteArray(
                     "\"Amy\"\r\n\"Ben\"\r\n\"Smith, J\"\r\n\"*****deleted*****\"\r\n\"\x80 \xe9\r\n\"\r\n"));
        QCOMPARE(list.load(),
                 QStringList({"Amy", "Ben", "Smith, J", "*****deleted*****", QString::fromUtf8("€ é\r\n")}));
        QVERIFY(list.save({UsersList::deletedMarker()}));
        QCOMPARE(fileBytes(list.filePath()), QByteArray());
    }

    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("double quote") << "Bob \"the\" Builder"
                                      << "Bob \"the\" Builder";
        QTest::newRow("outside the code page") << QString::fromUtf8("東京") << QString::fromUtf8("東京");
        QTest::newRow("read-only folder") << "Ben"
                                          << "Users List.txt";
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(QString, name);
        QFETCH(QString, error);
        const UsersList list(dir_.path());
        QVERIFY(list.save({"Amy"}));
        if (name == "Ben" && geteuid() == 0)
            QSKIP("permissions do not bind root");
        if (name == "Ben")
            QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner);
        QString why;
        const bool saved = list.save({"Ben", name}, &why);
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved);
        QVERIFY2(why.contains(error), qPrintable(why));
        QCOMPARE(fileBytes(list.filePath()), QByteArray("\"Amy\"\r\n"));
    }
};

QTEST_GUILESS_MAIN(UsersListTest)
#include "tst_userslist.moc"
