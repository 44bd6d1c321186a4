#include "chat/RoomLine.h"

#include <QtTest>

using namespace palvuro;

class TestRoomLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void takenApart_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<int>("bangPos");
        QTest::addColumn<bool>("command");
        QTest::addColumn<int>("exactLength"); // the one length that passes the length test
        QTest::newRow("command") << "Bob  : !top "
                                 << "BOB" << 8 << true << 4;
        QTest::newRow("colon in the message") << "BOB  : A:B "
                                              << "BOB" << 0 << false << 3;
        QTest::newRow("one-letter nick") << "A  : X "
                                         << "A" << 0 << false << 1;
        QTest::newRow("no separator") << "AB: X"
                                      << "" << 0 << false << 1;
        QTest::newRow("private line") << "/msg bob  : !HI "
                                      << "" << 13 << true << 3;
        QTest::newRow("private marker inside") << "X/MSG Y  : HI "
                                               << "" << 0 << false << 2;
        QTest::newRow("bang before the separator") << "A!B  : !Q "
                                                   << "A!B" << 2 << false << 2;
        QTest::newRow("only the first separator counts") << "A  : B  : !Q "
                                                         << "A" << 11 << true << 7;
        QTest::newRow("empty") << ""
                               << "" << 0 << false << -2;
    }
    void takenApart() {
        QFETCH(QString, text);
        QFETCH(QString, nick);
        QFETCH(int, bangPos);
        QFETCH(bool, command);
        QFETCH(int, exactLength);
        const RoomLine line(text);
        QCOMPARE(line.text(), text.toUpper());
        QCOMPARE(line.nick(), nick);
        QCOMPARE(line.bangPos(), bangPos);
        QCOMPARE(line.isCommand(), command);
        for (int length = 0; length < 10; ++length)
            QCOMPARE(line.passesLengthTest(length), length == exactLength);
    }
};

QTEST_GUILESS_MAIN(TestRoomLine)
#include "tst_roomline.moc"
