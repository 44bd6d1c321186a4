// What the bot says, cut into PRIVMSG texts the server relays whole.
#include "irc/IrcLineSplitter.h"

#include <QtTest>

using namespace palvuro;

class TestIrcLineSplitter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oneTextPerNonEmptyLine() {
        const QString said = QStringLiteral("one\r\n\r\ntwo\rthree\n") + QChar(u'\0') +
                             QStringLiteral("\nf") + QChar(u'\0') + QStringLiteral("our\n\n");
        QCOMPARE(IrcLineSplitter::split(said, 400), (QList<QByteArray>{"one", "two", "three", "four"}));
        QVERIFY(IrcLineSplitter::split(QStringLiteral("\r\n\n"), 400).isEmpty());
    }

    // The relayed line, prefix and CR LF included, is never over 512 bytes, and a long line
    // uses the room it has; pieces are whole characters and together the whole text.
    void cutsAtTheServersBudget_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QString(1500, QChar(u'a'));
        QTest::newRow("four-byte, mixed") << (QStringLiteral("x🎲") + QStringLiteral("🎲ab").repeated(200));
    }
    void cutsAtTheServersBudget() {
        QFETCH(QString, text);
        const QByteArray prefix = "TriviaBot!~trivia@some.host.example";
        const QByteArray target = "#trivia";
        const int budget =
            IrcLineSplitter::textBudget(static_cast<int>(prefix.size()), static_cast<int>(target.size()));
        const QList<QByteArray> pieces = IrcLineSplitter::split(text, budget);
        QVERIFY(pieces.size() > 1);
        QByteArray joined;
        for (const QByteArray& piece : pieces) {
            const QByteArray relayed = ':' + prefix + " PRIVMSG " + target + " :" + piece + "\r\n";
            QVERIFY2(relayed.size() <= 512, relayed.constData());
            QVERIFY(relayed.size() > 512 - 4 || &piece == &pieces.last()); // no room wasted
            QCOMPARE(QString::fromUtf8(piece).toUtf8(), piece);            // no character cut
            joined += piece;
        }
        QCOMPARE(QString::fromUtf8(joined), text);
    }

    // Words stay whole where a blank falls in the last fifth of the budget, never further
    // back; a bold run cut in two is bold again on the continuation, and only while it is on.
    void cutsAtABlankAndReopensBold_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("blank in the last fifth")
            << "aaaaaaaa bbbbbbbbbb" << QStringList{"aaaaaaaa", "bbbbbbbbbb"};
        QTest::newRow("blank too far back")
            << "aaaaaa bbbbbbbbbbbb" << QStringList{"aaaaaa bbb", "bbbbbbbbb"};
        QTest::newRow("bold reopened") << "*aaaaaaa bbbbbb* c" << QStringList{"*aaaaaaa", "*bbbbbb* c"};
        QTest::newRow("bold closed before the cut")
            << "*a*aaaaaaaaaaaaa" << QStringList{"*a*aaaaaaa", "aaaaaa"};
        QTest::newRow("reset ends bold") << "*a~aaaaaaaaaaaaa" << QStringList{"*a~aaaaaaa", "aaaaaa"};
    }
    void cutsAtABlankAndReopensBold() {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        // "*" stands for IRC bold and "~" for the reset of every format.
        const auto irc = [](QString t) { return t.replace('*', QChar(0x02)).replace('~', QChar(0x0F)); };
        QStringList got;
        for (const QByteArray& piece : IrcLineSplitter::split(irc(text), 10))
            got << QString::fromUtf8(piece);
        pieces.replaceInStrings("*", QString(QChar(0x02))).replaceInStrings("~", QString(QChar(0x0F)));
        QCOMPARE(got, pieces);
    }

    // However little room a target leaves, every piece holds at least one character.
    void alwaysMakesProgress() {
        QCOMPARE(IrcLineSplitter::textBudget(400, 300), 4);
        const QList<QByteArray> pieces = IrcLineSplitter::split(QStringLiteral("🎲a🎲"), 1);
        QCOMPARE(pieces, (QList<QByteArray>{"\xf0\x9f\x8e\xb2", "a", "\xf0\x9f\x8e\xb2"}));
    }
};

QTEST_GUILESS_MAIN(TestIrcLineSplitter)
#include "tst_splitter.moc"
