// Every committed fuzz seed through its fuzz case, so that the cases' invariants are checked in
// every test run and not only by the clang fuzzing build.
#include "fuzz/BotTextMatcher.h"
#include "fuzz/BusFramesFuzz.h"
#include "fuzz/RoomLinesFuzz.h"
#include "fuzz/UsersFileFuzz.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace palvuro;

class TstFuzzReplay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void seeds_data() {
        QTest::addColumn<QString>("path");
        for (const char* target : {"fuzz_room_lines", "fuzz_users_file", "fuzz_bus_frames"}) {
            const QDir corpus(QStringLiteral(PALVURO_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(target));
            const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
            QVERIFY2(!names.isEmpty(), qPrintable(corpus.path() + " holds no seeds"));
            for (const QString& name : names)
                QTest::newRow(qPrintable(QLatin1String(target) + QLatin1Char('/') + name))
                    << corpus.filePath(name);
        }
    }
    void seeds() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const auto size = std::size_t(bytes.size());
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QString failure;
        RoomLinesFuzz::Stats stats;
        const bool held = tag.startsWith(QLatin1String("fuzz_room_lines"))
                              ? RoomLinesFuzz::run(data, size, &failure, &stats)
                          : tag.startsWith(QLatin1String("fuzz_users_file"))
                              ? UsersFileFuzz::run(data, size, &failure)
                              : BusFramesFuzz::run(data, size, &failure);
        QVERIFY2(held, qPrintable(failure));
        // The game seed really plays: questions, answers and scores, or the checks above prove little.
        if (tag == QLatin1String("fuzz_room_lines/game.bin"))
            QVERIFY2(stats.scored >= 2 && stats.botTexts >= 10, qPrintable(QString::number(stats.scored)));
    }

    // The matcher must tell a bot's line from anything else, or the fuzzer would miss a leak.
    void matcherTellsTheBotsLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        const QString notice = QStringLiteral("\r\n1 Seconds Until Next Question.");
        QTest::newRow("question") << "Capital of France?" << true;
        QTest::newRow("hint revealing three") << "HINT: P A _ I _ " << false;
        QTest::newRow("times up, other answer") << "Times Up! Answer Was LONDON" + notice << false;
        QTest::newRow("correct") << "(*)BOB (*) Is Correct, Your Score Is [ 13 ]" + notice << true;
        QTest::newRow("correct, lower-case nick")
            << "(*)bob (*) Is Correct, Your Score Is [ 13 ]" + notice << false;
        QTest::newRow("start by another") << "[Trivia Bot Started By BOB]" << false;
        QTest::newRow("wrong score") << "/msg BOB <b>Your Score Is 11</b>" << false;
        QTest::newRow("top list, wrong order") << "/msg X <b>\r\nANNA 4\r\nBOB 12\r\n</b>" << false;
        QTest::newRow("chatter's text") << "!START HISTORY" << false;
        QTest::newRow("private free text") << "/msg BOB <b>hello</b>" << false;
    }
    void matcherTellsTheBotsLines() {
        QFETCH(QString, text);
        QFETCH(bool, matches);
        BotTextMatcher::Facts facts;
        facts.questions = {QStringLiteral("Capital of France?")};
        facts.answers = {QStringLiteral("PARIS")};
        facts.categories = {QStringLiteral("HISTORY")};
        facts.authorized = {QStringLiteral("ANNA")};
        facts.botNick = QStringLiteral("TRIVIABOT");
        const BotTextMatcher::Scores scores = {{QStringLiteral("ANNA"), 4}, {QStringLiteral("BOB"), 12}};
        QCOMPARE(BotTextMatcher(facts).matches(text, scores, scores), matches);
    }
};

QTEST_GUILESS_MAIN(TstFuzzReplay)
#include "tst_fuzzreplay.moc"
