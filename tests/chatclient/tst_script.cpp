#include "chatclient/ChatRoom.h"
#include "chatclient/ScriptLine.h"
#include "chatclient/ScriptRunner.h"
#include "chatclient/Transcript.h"
#include "platform/WindowRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace palvuro;
using Kind = ScriptLine::Kind;

class TestScript : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void escape_data();
    void escape();
    void expectSeesOnlyLaterLines();
};

void TestScript::parse_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms");
    QTest::addColumn<bool>("error");

    const int say = int(Kind::Say), expect = int(Kind::Expect), none = int(Kind::None);
    QTest::newRow("say keeps the text as typed") << "say ANNA  !START  HISTORY " << say << "ANNA"
                                                 << " !START  HISTORY " << 0 << false;
    QTest::newRow("say /msg") << "say BOT /msg ANNA hi" << say << "BOT"
                              << "/msg ANNA hi" << 0 << false;
    QTest::newRow("say without text") << "say ANNA" << none << ""
                                      << "" << 0 << true;
    QTest::newRow("expect with time-out") << "expect Is Correct 5000" << expect << ""
                                          << "Is Correct" << 5000 << false;
    QTest::newRow("expect: a number alone is the text") << "expect 42" << expect << ""
                                                        << "42" << 60000 << false;
    QTest::newRow("expect: last word not all digits") << "expect Score Is [ 1 ]" << expect << ""
                                                      << "Score Is [ 1 ]" << 60000 << false;
    QTest::newRow("expect: a time-out too large is text") << "expect x 99999999999" << expect << ""
                                                          << "x 99999999999" << 60000 << false;
    QTest::newRow("expect without text") << "expect   " << none << ""
                                         << "" << 0 << true;
    QTest::newRow("wait") << "  wait 2500" << int(Kind::Wait) << ""
                          << "" << 2500 << false;
    QTest::newRow("wait not a number") << "wait 1.5" << none << ""
                                       << "" << 0 << true;
    QTest::newRow("wait two numbers") << "wait 1 2" << none << ""
                                      << "" << 0 << true;
    QTest::newRow("join") << "join ANNA" << int(Kind::Join) << "ANNA"
                          << "" << 0 << false;
    QTest::newRow("quit") << "quit " << int(Kind::Quit) << ""
                          << "" << 0 << false;
    QTest::newRow("unknown keyword") << "SAY ANNA hi" << none << ""
                                     << "" << 0 << true;
    QTest::newRow("comment") << " # say ANNA hi" << none << ""
                             << "" << 0 << false;
}

void TestScript::parse() {
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, nick);
    QFETCH(QString, text);
    QFETCH(int, ms);
    QFETCH(bool, error);

    QString why;
    const ScriptLine parsed = ScriptLine::parse(line, &why);
    QCOMPARE(int(parsed.kind), kind);
    QCOMPARE(!why.isEmpty(), error);
    QCOMPARE(parsed.nick, nick);
    QCOMPARE(parsed.text, text);
    QCOMPARE(parsed.ms, ms);
}

void TestScript::escape_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "ANNA"
                           << "ANNA";
    QTest::newRow("line breaks") << "a\r\nb"
                                 << "a\\r\\nb";
    QTest::newRow("tab and backslash") << "a\tb\\n"
                                       << "a\\tb\\\\n";
}

void TestScript::escape() {
    QFETCH(QString, field);
    QFETCH(QString, escaped);
    QCOMPARE(Transcript::escape(field), escaped);
}

void TestScript::expectSeesOnlyLaterLines() {
    QTemporaryDir dir;
    WindowRegistry registry;
    ChatRoom room(registry, QStringLiteral("Guest"));
    Transcript transcript;
    QVERIFY(transcript.open(dir.filePath(QStringLiteral("t.tsv")), nullptr));
    transcript.attach(room);
    ScriptRunner runner(room, &transcript);
    QSignalSpy finished(&runner, &ScriptRunner::finished);

    // "early" is said before the first expect begins, so that expect fails; the second one is
    // met by a line that arrives while it waits.
    runner.addLine(QStringLiteral("say ANNA early"));
    runner.addLine(QStringLiteral("expect early 100"));
    runner.addLine(QStringLiteral("expect late 10000"));
    runner.addLine(QStringLiteral("say ANNA done"));
    runner.endOfInput();
    QTRY_VERIFY(runner.expectFailed());
    QCOMPARE(finished.count(), 0);
    room.say(QStringLiteral("BOB"), QStringLiteral("/msg ANNA too late"));
    QTRY_COMPARE(finished.count(), 1);

    QFile file(dir.filePath(QStringLiteral("t.tsv")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList kinds;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 5)
            kinds << QString::fromUtf8(fields.at(1) + ' ' + fields.at(4));
    }
    QCOMPARE(kinds, (QStringList{"say early", "expect-failed early", "msg too late", "say done"}));
}

QTEST_GUILESS_MAIN(TestScript)
#include "tst_script.moc"
