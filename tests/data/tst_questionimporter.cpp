#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"
#include "tests/data/DataFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace palvuro;

namespace {

struct Run {
    QuestionImporter::Summary summary;
    QList<QuestionImporter::LineError> errors;
};

Run importInto(TriviaDatabase& db, const QString& path) {
    Run run;
    QuestionImporter importer(db);
    importer.setErrorHandler([&run](const QuestionImporter::LineError& e) { run.errors << e; });
    run.summary = importer.importFile(path);
    return run;
}

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes) {
    datatest::writeFile(dir.filePath(QStringLiteral("in.tsv")), bytes);
    return dir.filePath(QStringLiteral("in.tsv"));
}

} // namespace

class TestQuestionImporter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shippedDemoImportsCleanly() {
        QTemporaryDir dir;
        TriviaDatabase db(dir.path());
        const Run run = importInto(db, QStringLiteral(PALVURO_SOURCE_DIR "/demo/questions.tsv"));
        QCOMPARE(run.summary.outcome, QuestionImporter::Outcome::Done);
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors.value(0).reason));
        QVERIFY(run.summary.added.size() >= 3);
        QVERIFY(*std::min_element(run.summary.added.cbegin(), run.summary.added.cend()) >= 30);
        QStringList names;
        QCOMPARE(db.listCategories(&names), DbStatus::Ok);
        QCOMPARE(names, run.summary.added.keys());
    }

    void malformedLineIsSkippedWithItsNumber_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("two fields") << QByteArray("SCIENCE\tWhat is H2O?") << "found 2";
        QTest::newRow("empty answer") << QByteArray("SCIENCE\tWhat is H2O?\t   ") << "empty answer";
        QTest::newRow("300-char question")
            << QByteArray("SCIENCE\t" + QByteArray(299, 'x') + "?\tX") << "question is 300 characters long";
        QTest::newRow("injected name")
            << QByteArray("X]; DROP TABLE Psystem;--\tWhy?\tX") << "not a valid category name";
        QTest::newRow("scores table") << QByteArray("psystem\tWhy?\tX") << "not a category";
        QTest::newRow("not UTF-8") << QByteArray("SCIENCE\tCaf\xe9?\tX") << "not valid UTF-8";
        QTest::newRow("NUL") << QByteArray("SCIENCE\tWhy?\tA\0B", 16) << "answer holds a control character";
        QTest::newRow("huge line") << QByteArray("SCIENCE\tWhy?\t" + QByteArray(100000, 'y'))
                                   << "longer than";
    }

    // The bad line sits between two good ones, the last with a CR LF end and no final line break.
    void malformedLineIsSkippedWithItsNumber() {
        QFETCH(QByteArray, line);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        TriviaDatabase db(dir.path());
        const QByteArray text = "category\tquestion\tanswer\nSCIENCE\tWhich planet is red?\tMARS\n\n" + line +
                                "\r\nSCIENCE\tWhich gas do we breathe?\tOXYGEN\r\n";
        const Run run = importInto(db, writeFile(dir, text));
        QCOMPARE(run.summary.outcome, QuestionImporter::Outcome::Done);
        QCOMPARE(run.errors.size(), 1);
        QCOMPARE(run.errors[0].line, 4);
        QVERIFY2(run.errors[0].reason.contains(reason), qPrintable(run.errors[0].reason));
        QCOMPARE(run.summary.linesRead, 5);
        QCOMPARE(run.summary.text(),
                 QStringLiteral("Added 2 questions in 1 category (SCIENCE 2); 1 line skipped."));
        qint64 score = 0;
        QCOMPARE(db.scoreCorrectAnswer(QStringLiteral("ANNA"), &score), DbStatus::Ok);
        QCOMPARE(score, 1);
    }

    void valuesStoredAsTheEditorStoresThem() {
        QTemporaryDir dir;
        TriviaDatabase db(dir.path());
        QCOMPARE(db.createCategory(QStringLiteral("History")), DbStatus::Ok);
        const QByteArray longest =
            "FOOD\tWhat is the longest line?\t"; // padded to the most bytes a line may hold
        const QByteArray text =
            "\xef\xbb\xbf"
            "history\t  who said 'x'); DROP TABLE HISTORY;--?  \t \"; DELETE FROM Psystem \n"
            " food \tQu'est-ce que la crème brûlée?\tcrème brûlée\n" +
            longest + QByteArray(QuestionImporter::MaxLineBytes - longest.size() - 7, ' ') + "PADDING\r\n";
        const Run run = importInto(db, writeFile(dir, text));
        QVERIFY(run.errors.isEmpty());
        QCOMPARE(run.summary.text(),
                 QStringLiteral("Added 3 questions in 2 categories (FOOD 2, HISTORY 1); 0 lines skipped."));
        TriviaDatabase::Pair pair;
        QCOMPARE(db.findPairByQuestion(QStringLiteral("HISTORY"),
                                       QStringLiteral("WHO SAID 'X'); DROP TABLE HISTORY;--?"), &pair),
                 DbStatus::Ok);
        QCOMPARE(pair.answer, QStringLiteral("\"; DELETE FROM PSYSTEM"));
        QCOMPARE(db.findPairByAnswer(QStringLiteral("FOOD"), QStringLiteral("CRÈME BRÛLÉE"), &pair),
                 DbStatus::Ok);
        QCOMPARE(pair.question, QStringLiteral("QU'EST-CE QUE LA CRÈME BRÛLÉE?"));
    }

    void commandLineExitStatus_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray good = "SCIENCE\tWhich planet is red?\tMARS\n";
        QTest::newRow("all added") << good << 0 << "Added 1 question in 1 category (SCIENCE 1)";
        QTest::newRow("skipped") << good + "BAD NAME\tWhy?\tX\n" << 1 << "in.tsv:2: \"BAD NAME\"";
        QTest::newRow("missing file") << QByteArray() << 2 << "cannot open";
    }
    void commandLineExitStatus() {
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString program = qEnvironmentVariable("PALVURO_BIN_DIR") + QStringLiteral("/palvuro-import");
        if (!QFileInfo(program).isExecutable())
            QSKIP("palvuro-import is not built");
        QTemporaryDir dir;
        if (!input.isEmpty())
            writeFile(dir, input);
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {QStringLiteral("in.tsv")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), exitCode);
        const QString output = QString::fromUtf8(process.readAll());
        QVERIFY2(output.contains(message), qPrintable(output));
        // No database is made for a file that is not there.
        QCOMPARE(QFile::exists(dir.filePath(TriviaDatabase::fileName())), !input.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQuestionImporter)
#include "tst_questionimporter.moc"
