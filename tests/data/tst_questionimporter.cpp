#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using palvuro::DbStatus;
using palvuro::QuestionImporter;
using palvuro::TriviaDatabase;

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
    const QString path = dir.filePath(QStringLiteral("in.tsv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// The line with spaces before its last field, to exactly `size` bytes.
QByteArray padded(const QByteArray& line, qint64 size) {
    const qsizetype lastTab = line.lastIndexOf('\t') + 1;
    return line.left(lastTab) + QByteArray(size - line.size(), ' ') + line.mid(lastTab);
}

} // namespace

class TestQuestionImporter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shippedDemoImportsCleanly();
    void malformedLineIsSkippedWithItsNumber_data();
    void malformedLineIsSkippedWithItsNumber();
    void valuesStoredAsTheEditorStoresThem();
    void realBankImports();
    void commandLineExitStatus_data();
    void commandLineExitStatus();
};

void TestQuestionImporter::shippedDemoImportsCleanly() {
    QTemporaryDir dir;
    TriviaDatabase db(dir.path());
    const Run run = importInto(db, QStringLiteral(PALVURO_SOURCE_DIR "/demo/questions.tsv"));
    QCOMPARE(run.summary.outcome, QuestionImporter::Outcome::Done);
    QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors.value(0).reason));
    QVERIFY(run.summary.added.size() >= 3);
    for (auto it = run.summary.added.cbegin(); it != run.summary.added.cend(); ++it)
        QVERIFY2(it.value() >= 30, qPrintable(it.key()));
    QStringList names;
    QCOMPARE(db.listCategories(&names), DbStatus::Ok);
    QCOMPARE(names, run.summary.added.keys());
}

void TestQuestionImporter::malformedLineIsSkippedWithItsNumber_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("two fields") << QByteArray("SCIENCE\tWhat is H2O?") << "found 2";
    QTest::newRow("four fields") << QByteArray("SCIENCE\tWhat is H2O?\tWATER\textra") << "found 4";
    QTest::newRow("empty answer") << QByteArray("SCIENCE\tWhat is H2O?\t   ") << "empty answer";
    QTest::newRow("300-char question")
        << QByteArray("SCIENCE\t" + QByteArray(299, 'x') + "?\tX") << "question is 300 characters long";
    QTest::newRow("blank name") << QByteArray("BAD NAME\tWhy?\tX") << "not a valid category name";
    QTest::newRow("injected name") << QByteArray("X]; DROP TABLE Psystem;--\tWhy?\tX")
                                   << "not a valid category name";
    QTest::newRow("scores table") << QByteArray("psystem\tWhy?\tX") << "not a category";
    QTest::newRow("not UTF-8") << QByteArray("SCIENCE\tCaf\xe9?\tX") << "not valid UTF-8";
    QTest::newRow("NUL") << QByteArray("SCIENCE\tWhy?\tA\0B", 16) << "answer holds a control character";
    QTest::newRow("huge line") << QByteArray("SCIENCE\tWhy?\t" + QByteArray(100000, 'y')) << "longer than";
}

// The bad line sits between two good ones, the last with a CR LF end and no final line break.
void TestQuestionImporter::malformedLineIsSkippedWithItsNumber() {
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

void TestQuestionImporter::valuesStoredAsTheEditorStoresThem() {
    QTemporaryDir dir;
    TriviaDatabase db(dir.path());
    QCOMPARE(db.createCategory(QStringLiteral("History")), DbStatus::Ok);
    const QByteArray text =
        "\xef\xbb\xbf"
        "history\t  who said 'x'); DROP TABLE HISTORY;--?  \t \"; DELETE FROM Psystem \n"
        " food \tQu'est-ce que la crème brûlée?\tcrème brûlée\n" +
        padded("FOOD\tWhat is the longest line?\tPADDING", QuestionImporter::MaxLineBytes) + "\r\n";
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

// Counts only: the folder is in memory when it can be, because a commit per row waits for the
// disk; bench_import measures the time on disk.
void TestQuestionImporter::realBankImports() {
    const QString bank = QStringLiteral(PALVURO_SHARED_DIR "/data/questions.tsv");
    if (!QFileInfo::exists(bank))
        QSKIP("the question bank is not on this machine");
    const QString memory = QStringLiteral("/dev/shm");
    QTemporaryDir dir(QFileInfo(memory).isWritable()
                          ? memory + QStringLiteral("/tst_import-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/tst_import-XXXXXX"));
    TriviaDatabase db(dir.path());
    const Run run = importInto(db, bank);
    QCOMPARE(run.summary.outcome, QuestionImporter::Outcome::Done);
    // Of the 48,545 pairs in 21 categories, 947 questions exceed the column's 255 characters, and
    // GENERAL is a reserved word, so none of its 3,224 lines (41 of them too long) has a table.
    QCOMPARE(run.summary.added.size(), 20);
    QVERIFY(!run.summary.added.contains(QStringLiteral("GENERAL")));
    QCOMPARE(run.summary.linesSkipped, 947 - 41 + 3224);
    QCOMPARE(run.summary.pairsAdded(), 48545 - run.summary.linesSkipped);
    for (const QuestionImporter::LineError& error : run.errors) {
        QVERIFY2(error.reason.startsWith(QStringLiteral("question is ")) ||
                     error.reason.startsWith(QStringLiteral("\"GENERAL\" is not a valid category name")),
                 qPrintable(error.reason));
    }
}

void TestQuestionImporter::commandLineExitStatus_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("database");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QByteArray good = "SCIENCE\tWhich planet is red?\tMARS\n";
    QTest::newRow("all added") << good << QByteArray() << 0 << "Added 1 question in 1 category (SCIENCE 1)";
    QTest::newRow("skipped") << good + "BAD NAME\tWhy?\tX\n" << QByteArray() << 1 << "in.tsv:2: \"BAD NAME\"";
    QTest::newRow("not a database") << good << QByteArray("not a database at all") << 2
                                    << "Trivia.mdb is not a database";
    QTest::newRow("missing file") << QByteArray() << QByteArray() << 2 << "cannot open";
}

void TestQuestionImporter::commandLineExitStatus() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, database);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString program = qEnvironmentVariable("PALVURO_BIN_DIR") + QStringLiteral("/palvuro-import");
    if (!QFileInfo(program).isExecutable())
        QSKIP("palvuro-import is not built");
    QTemporaryDir dir;
    const QString path = input.isEmpty() ? dir.filePath(QStringLiteral("in.tsv")) : writeFile(dir, input);
    QFile mdb(dir.filePath(TriviaDatabase::fileName()));
    if (!database.isEmpty())
        QVERIFY(mdb.open(QIODevice::WriteOnly) && mdb.write(database) == database.size());
    mdb.close();

    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(program, {QStringLiteral("in.tsv")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), exitCode);
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(output.contains(message), qPrintable(output));
    if (!database.isEmpty()) {
        QVERIFY(mdb.open(QIODevice::ReadOnly));
        QCOMPARE(mdb.readAll(), database);
    }
    if (input.isEmpty())
        QVERIFY(!mdb.exists()); // no database is made for a file that is not there
}

QTEST_GUILESS_MAIN(TestQuestionImporter)
#include "tst_questionimporter.moc"
