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

namespace {

using Case = bool (*)(const std::uint8_t*, std::size_t, QString*);

bool roomLines(const std::uint8_t* data, std::size_t size, QString* failure) {
    return RoomLinesFuzz::run(data, size, failure);
}

} // namespace

class TstFuzzReplay : public QObject {
    Q_OBJECT
private:
    static void addSeeds(const char* target) {
        const QDir corpus(QStringLiteral(PALVURO_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(target));
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!names.isEmpty(), qPrintable(corpus.path() + " holds no seeds"));
        for (const QString& name : names)
            QTest::newRow(qPrintable(QLatin1String(target) + QLatin1Char('/') + name))
                << corpus.filePath(name);
    }

    static void replay(Case fuzzCase) {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QString failure;
        const bool held = fuzzCase(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   std::size_t(bytes.size()), &failure);
        QVERIFY2(held, qPrintable(failure));
    }

private Q_SLOTS:
    void roomLines_data() {
        QTest::addColumn<QString>("path");
        addSeeds("fuzz_room_lines");
    }
    void roomLines() { replay(&::roomLines); }

    // The game seed really plays: questions, answers and scores, or the checks above prove little.
    void roomLinesReachTheGame() {
        QFile file(QStringLiteral(PALVURO_SOURCE_DIR "/fuzz/corpus/fuzz_room_lines/game.bin"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        RoomLinesFuzz::Stats stats;
        QString failure;
        QVERIFY2(RoomLinesFuzz::run(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    std::size_t(bytes.size()), &failure, &stats),
                 qPrintable(failure));
        QVERIFY2(stats.scored >= 2, qPrintable(QString::number(stats.scored)));
        QVERIFY(stats.botTexts >= 10);
    }

    // The matcher must tell a bot's line from anything else, or the fuzzer would miss a leak.
    void matcherTellsTheBotsLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        const QString notice = QStringLiteral("\r\n1 Seconds Until Next Question.");
        QTest::newRow("question") << "Capital of France?" << true;
        QTest::newRow("hint") << "HINT: P _ _ I _ " << true;
        QTest::newRow("hint revealing three") << "HINT: P A _ I _ " << false;
        QTest::newRow("times up") << "Times Up! Answer Was PARIS" + notice << true;
        QTest::newRow("times up, other answer") << "Times Up! Answer Was LONDON" + notice << false;
        QTest::newRow("correct") << "(*)BOB (*) Is Correct, Your Score Is [ 13 ]" + notice << true;
        QTest::newRow("correct, lower-case nick")
            << "(*)bob (*) Is Correct, Your Score Is [ 13 ]" + notice << false;
        QTest::newRow("start by authorized") << "[Trivia Bot Started By ANNA]" << true;
        QTest::newRow("start by another") << "[Trivia Bot Started By BOB]" << false;
        QTest::newRow("own score") << "/msg BOB <b>Your Score Is 12</b>" << true;
        QTest::newRow("wrong score") << "/msg BOB <b>Your Score Is 11</b>" << false;
        QTest::newRow("other's score") << "/msg X <b>ANNA's Score Is 4</b>" << true;
        QTest::newRow("top list") << "/msg X <b>\r\nBOB 12\r\nANNA 4\r\n</b>" << true;
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

    void usersFile_data() {
        QTest::addColumn<QString>("path");
        addSeeds("fuzz_users_file");
    }
    void usersFile() { replay(&UsersFileFuzz::run); }

    void busFrames_data() {
        QTest::addColumn<QString>("path");
        addSeeds("fuzz_bus_frames");
    }
    void busFrames() { replay(&BusFramesFuzz::run); }
};

QTEST_GUILESS_MAIN(TstFuzzReplay)
#include "tst_fuzzreplay.moc"
