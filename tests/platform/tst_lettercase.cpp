// Upper case one character for one, as texts come through Windows-1252.
#include "platform/LetterCase.h"

#include <QtTest>

using namespace palvuro;

class TstLetterCase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void upper_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("upper");
        const auto row = [](const char* tag, const QString& text, const QString& upper) {
            QTest::newRow(tag) << text << upper;
        };
        row("Latin-1 and the code page's own capitals", "crème brûlée ÿ š œ ž", "CRÈME BRÛLÉE Ÿ Š Œ Ž");
        row("no single capital: the letter stays", "straße ŉ ǰ", "STRAßE ŉ ǰ");
        row("a capital the code page lacks comes back through best fit", "ƒ µ", "ƒ µ");
        row("letters from outside the code page", "αβγ ſ ı", "ΑΒΓ S I");
        row("outside the BMP", QString::fromUtf8("\xf0\x90\x90\xa8!"),
            QString::fromUtf8("\xf0\x90\x90\x80!"));
        row("a lone surrogate", QString(QChar(0xD801)) + "a", QString(QChar(0xD801)) + "A");
    }
    void upper() {
        QFETCH(QString, text);
        QFETCH(QString, upper);
        QCOMPARE(LetterCase::upper(text), upper);
        QCOMPARE(LetterCase::upper(upper), upper);
        QVERIFY(LetterCase::isUpper(upper));
    }
};

QTEST_GUILESS_MAIN(TstLetterCase)
#include "tst_lettercase.moc"
