#include "chatclient/RichEditText.h"

#include <QtTest>

using namespace palvuro;

// Every row of a text described as "start,length,withMark" separated by blanks; the final empty
// row is included.
static QString describeRows(const RichEditText& text) {
    QStringList rows;
    for (std::int32_t line = 0; line < text.lineCount(); ++line) {
        const std::int32_t start = text.lineIndex(line);
        const QString row = text.lineWithMark(line);
        const bool mark = row.endsWith(QLatin1Char('\r'));
        rows << QStringLiteral("%1,%2,%3").arg(start).arg(text.lineLength(start)).arg(mark ? "m" : "-");
    }
    return rows.join(QLatin1Char(' '));
}

class TestRichEditText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rows_data();
    void rows();
    void lineMessagesOutsideTheText();
    void rewrapKeepsParagraphs();
};

void TestRichEditText::rows_data() {
    QTest::addColumn<int>("wrap");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QStringList>("lines"); // lineWithMark of every row

    QTest::newRow("empty control") << 80 << QStringList{} << "0,0,m" << QStringList{"\r"};
    QTest::newRow("one line and the final empty row")
        << 80 << QStringList{"ANNA  : hi "} << "0,11,m 12,0,m" << QStringList{"ANNA  : hi \r", "\r"};
    QTest::newRow("CR LF, CR and LF each make one mark")
        << 0 << QStringList{"a\r\nbb\rc\nd"} << "0,1,m 2,2,m 5,1,m 7,1,m 9,0,m"
        << QStringList{"a\r", "bb\r", "c\r", "d\r", "\r"};
    QTest::newRow("empty paragraph from two breaks")
        << 0 << QStringList{"a\r\n\r\nb"} << "0,1,m 2,0,m 3,1,m 5,0,m"
        << QStringList{"a\r", "\r", "b\r", "\r"};
    QTest::newRow("wrapped at the column, mark on the last row")
        << 4 << QStringList{"abcdefghij", "xy"} << "0,4,- 4,4,- 8,2,m 11,2,m 14,0,m"
        << QStringList{"abcd", "efgh", "ij\r", "xy\r", "\r"};
    QTest::newRow("paragraph exactly the column wide keeps its mark")
        << 4 << QStringList{"abcdefgh"} << "0,4,- 4,4,m 9,0,m" << QStringList{"abcd", "efgh\r", "\r"};
    QTest::newRow("a cut never splits a surrogate pair")
        << 2
        << QStringList{QString::fromUtf8("a\xF0\x9F\x98\x80"
                                         "b")}
        << "0,1,- 1,2,- 3,1,m 5,0,m" << QStringList{"a", QString::fromUtf8("\xF0\x9F\x98\x80"), "b\r", "\r"};
}

void TestRichEditText::rows() {
    QFETCH(int, wrap);
    QFETCH(QStringList, paragraphs);
    QFETCH(QString, rows);
    QFETCH(QStringList, lines);

    RichEditText text(wrap);
    for (const QString& p : paragraphs)
        text.appendParagraph(p);
    QCOMPARE(describeRows(text), rows);
    QStringList got;
    for (std::int32_t line = 0; line < text.lineCount(); ++line)
        got << text.lineWithMark(line);
    QCOMPARE(got, lines);
}

void TestRichEditText::lineMessagesOutsideTheText() {
    RichEditText text(80);
    text.appendParagraph(QStringLiteral("ANNA  : hi "));
    QCOMPARE(text.lineCount(), 2);
    QCOMPARE(text.lineIndex(2), -1);
    QCOMPARE(text.lineIndex(-5), -1);
    QCOMPARE(text.lineIndex(-1), 12);  // the caret stays at the end
    QCOMPARE(text.lineLength(11), 11); // the mark belongs to its row
    QCOMPARE(text.lineLength(12), 0);
    QCOMPARE(text.lineLength(500), 0);
    QCOMPARE(text.lineLength(-1), 0);
    QCOMPARE(text.lineWithMark(2), QString());
    QCOMPARE(text.plainText(), QStringLiteral("ANNA  : hi "));
    text.clear();
    QCOMPARE(text.lineCount(), 1);
    QCOMPARE(text.lineIndex(0), 0);
}

void TestRichEditText::rewrapKeepsParagraphs() {
    RichEditText text(3);
    text.appendParagraph(QStringLiteral("abcdefg"));
    text.appendParagraph(QStringLiteral("hi\r\nj"));
    QCOMPARE(text.lineCount(), 6);
    text.setWrapColumns(0);
    QCOMPARE(describeRows(text), QStringLiteral("0,7,m 8,2,m 11,1,m 13,0,m"));
    QCOMPARE(text.plainText(), QStringLiteral("abcdefg\nhi\nj"));
}

QTEST_GUILESS_MAIN(TestRichEditText)
#include "tst_richedittext.moc"
