// Incoming chat text as it is shown: decoded and without formatting codes.
#include "irc/IrcText.h"

#include <QtTest>

using namespace palvuro;

class TestIrcText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stripsFormatting_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("toggles") << QStringLiteral("\x02"
                                                   "bo\x02ld \x1Dit\x1F u\x16r\x11m\x1Es\x0F!")
                                 << QStringLiteral("bold it urms!");
        QTest::newRow("answer starting with digits") << QStringLiteral("\x03"
                                                                       "041984")
                                                     << QStringLiteral("1984");
        QTest::newRow("comma that is text") << QStringLiteral("\x03"
                                                              "12,hello")
                                            << QStringLiteral(",hello");
        QTest::newRow("background of two digits, then digits") << QStringLiteral("\x03"
                                                                                 "1,0299")
                                                               << QStringLiteral("99");
        QTest::newRow("bare colour code") << QStringLiteral("\x03,5x") << QStringLiteral(",5x");
        QTest::newRow("hex colour") << QStringLiteral("\x04"
                                                      "FF00aa,000000Rome\x04")
                                    << QStringLiteral("Rome");
        QTest::newRow("codes at the very end") << QStringLiteral("end\x03"
                                                                 "1,")
                                               << QStringLiteral("end,");
        QTest::newRow("other controls") << QStringLiteral("a\x01\x07\tb\x7f") << QStringLiteral("ab");
        QTest::newRow("letters kept") << QStringLiteral("Zürich – 東京") << QStringLiteral("Zürich – 東京");
    }
    void stripsFormatting() {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        QCOMPARE(IrcText::stripFormatting(raw), shown);
    }

    void decodesUtf8ElseWindows1252() {
        QCOMPARE(IrcText::decode("Z\xc3\xbcrich \xe2\x82\xac"), QStringLiteral("Zürich €"));
        QCOMPARE(IrcText::decode("Z\xfcrich \x80"), QStringLiteral("Zürich €"));
        // One broken sequence makes the whole line single-byte text, nothing is dropped.
        QCOMPARE(IrcText::decode("\xc3\xbc \xc3"), QStringLiteral("Ã¼ Ã"));
        QCOMPARE(IrcText::decode("\xed\xa0\x80"), QStringLiteral("í\u00a0€")); // an encoded surrogate
        QCOMPARE(IrcText::plain("\x02\xe9t\xe9"), QStringLiteral("été"));
    }
};

QTEST_GUILESS_MAIN(TestIrcText)
#include "tst_text.moc"
