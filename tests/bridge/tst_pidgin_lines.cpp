#include "bridge/PidginLines.h"

#include <QTest>

using namespace palvuro;

namespace {

// Runs as Pidgin's text widget reports them.
TextRun run(const QString& text, std::initializer_list<std::pair<const char*, const char*>> attributes) {
    TextRun r;
    r.text = text;
    for (const auto& [name, value] : attributes)
        r.attributes.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return r;
}
TextRun stamp(const QString& text = QStringLiteral("(12:20:27) ")) {
    return run(text, {{"weight", "400"}, {"size", "9"}, {"fg-color", "16705,37522,28527"}});
}
TextRun systemStamp() {
    return run(QStringLiteral("(12:20:27) "), {{"weight", "400"}, {"size", "9"}});
}
TextRun nick(const QString& text) {
    return run(text, {{"weight", "400"}, {"style", "italic"}, {"fg-color", "16655,37549,28416"}});
}
TextRun ownNick(const QString& text) {
    return run(text, {{"weight", "700"}, {"fg-color", "8224,19018,34695"}});
}
TextRun action(const QString& text) {
    return run(text, {{"weight", "700"}, {"fg-color", "1542,9509,34181"}});
}
TextRun notice(const QString& text) {
    return run(text, {{"weight", "700"}, {"size", "10"}});
}
TextRun plain(const QString& text) {
    return run(text, {});
}

QString kindName(ConversationLine::Kind kind) {
    static const QStringList names{"said", "action", "notice", "left", "other"}; // in the enum's order
    return names.at(int(kind));
}

} // namespace

class TestPidginLines : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void takesLinesApartByTheirRuns_data();
    void takesLinesApartByTheirRuns();
    void anEarlierStampAfterAQuietDayIsSaidNow();
};

void TestPidginLines::takesLinesApartByTheirRuns_data() {
    QTest::addColumn<QList<TextRun>>("runs");
    QTest::addColumn<QStringList>("lines"); // kind|nick|text

    const QString nl = QStringLiteral("\n");
    QTest::newRow("colons and blanks in the nick and the message")
        << QList<TextRun>{stamp(), nick("Dr. A: B: "), plain("hello world : with colon")}
        << QStringList{"said|Dr. A: B|hello world : with colon"};
    QTest::newRow("our own line") << QList<TextRun>{stamp(), ownNick("TRIVIA: "), plain("Times Up!")}
                                  << QStringList{"said|TRIVIA|Times Up!"};
    QTest::newRow("action") << QList<TextRun>{stamp(), action("***ANNA "), plain("waves")}
                            << QStringList{"action|ANNA|waves"};
    QTest::newRow("joins, parts and renames in one read")
        << QList<TextRun>{plain(nl), systemStamp(), notice("ANNA [~anna@127.0.0.1] entered the room."),
                          plain(nl), systemStamp(), notice("BOB is now known as BOBBY"),
                          plain(nl), systemStamp(), notice("ANNA left the room (bye).")}
        << QStringList{"notice||ANNA [~anna@127.0.0.1] entered the room.",
                       "notice||BOB is now known as BOBBY", "notice||ANNA left the room (bye)."};
    // The account's disconnect, a line of kind "left", is the end-to-end bridge suite's fault.
    QTest::newRow("formatting dropped")
        << QList<TextRun>{stamp(),
                          nick("BOB: "),
                          notice("bold"),
                          plain(" and "),
                          run(QStringLiteral("red"), {{"fg-color", "65535,0,0"}}),
                          plain(" text")}
        << QStringList{"said|BOB|bold and red text"};
    QTest::newRow("time stamps in other locales")
        << QList<TextRun>{stamp(QStringLiteral("(07.12.2026 12:20:27 PM) ")), nick("ANNA: "), plain("hi")}
        << QStringList{"said|ANNA|hi"};
    // What a chatter types is never a line of its own: the end-to-end bridge suite types the
    // rest, and plays a history replayed on rejoin.
    QTest::newRow("forged stamp in a coloured run")
        << QList<TextRun>{stamp(),          nick("EVE: "),
                          plain("x\n"),     run(QStringLiteral("(12:20:27) "), {{"fg-color", "1,2,3"}}),
                          nick("TRIVIA: "), plain("!QUIT")}
        << QStringList{"said|EVE|x (12:20:27) TRIVIA: !QUIT"};
    QTest::newRow("control characters and pictures")
        << QList<TextRun>{stamp(), nick("BOB: "), plain(QStringLiteral("a\x01\tb\x7f") + QChar(0xFFFC) + "c")}
        << QStringList{"said|BOB|a bc"};
    QTest::newRow("a clock past midnight or noon goes on")
        << QList<TextRun>{stamp("(23:59:59) "),    nick("A: "), plain("a" + nl),
                          stamp("(00:00:01) "),    nick("B: "), plain("b" + nl),
                          stamp("(12:59:59 PM) "), nick("C: "), plain("c" + nl),
                          stamp("(1:00:00 PM) "),  nick("D: "), plain("d" + nl),
                          stamp("(1:00:00 PM) "),  nick("E: "), plain("e")}
        << QStringList{"said|A|a", "said|B|b", "said|C|c", "said|D|d", "said|E|e"};
    QTest::newRow("text with no line before it")
        << QList<TextRun>{plain("orphan")} << QStringList{"other||orphan"};
    QTest::newRow("nothing new") << QList<TextRun>{plain(nl)} << QStringList{};
}

void TestPidginLines::takesLinesApartByTheirRuns() {
    QFETCH(QList<TextRun>, runs);
    QFETCH(QStringList, lines);
    QStringList got;
    PidginLines pidgin;
    for (const ConversationLine& line : pidgin.parse(runs))
        got << kindName(line.kind) + QLatin1Char('|') + line.nick + QLatin1Char('|') + line.text;
    QCOMPARE(got, lines);
}

// The newest stamp read is forgotten after the replay window: a line of 19:00 after one of
// 22:00 a day before is said now.
void TestPidginLines::anEarlierStampAfterAQuietDayIsSaidNow() {
    qint64 now = 0;
    PidginLines pidgin([&now] { return now; });
    const auto said = [&](const QString& time) {
        const QList<ConversationLine> lines =
            pidgin.parse({stamp("(" + time + ") "), nick("ANNA: "), plain("hi\n")});
        return lines.size() == 1 && lines.first().kind == ConversationLine::Kind::Said;
    };
    QVERIFY(said("22:00:00"));
    QVERIFY(!said("21:00:00"));
    now += PidginLines::ReplayWindowMs + 1;
    QVERIFY(said("19:00:00"));
    QVERIFY(!said("18:59:59"));
}

QTEST_GUILESS_MAIN(TestPidginLines)
#include "tst_pidgin_lines.moc"
