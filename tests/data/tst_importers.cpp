#include "data/HtmlEntities.h"
#include "data/ImportFormat.h"
#include "data/QuestionImporter.h"
#include "data/ScoreImporter.h"
#include "data/TriviaDatabase.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StoreBackends.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace palvuro;

namespace {

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

// Every stored pair as "CATEGORY|QUESTION|ANSWER", categories by name, rows as added.
QStringList contentOf(TriviaDatabase& db) {
    QStringList categories;
    QStringList rows;
    if (db.listCategories(&categories) != DbStatus::Ok)
        return {"<failed>"};
    for (const QString& category : categories)
        db.forEachPair(category, [&](const TriviaDatabase::Pair& p) {
            rows << category + '|' + p.question + '|' + p.answer;
        });
    return rows;
}

QByteArray openTdbJson(const QList<QStringList>& results,
                       const std::function<QString(const QString&)>& encode) {
    QJsonArray list;
    for (const QStringList& r : results)
        list.append(QJsonObject{{"type", encode(r[0])},
                                {"difficulty", encode("easy")},
                                {"category", encode(r[1])},
                                {"question", encode(r[2])},
                                {"correct_answer", encode(r[3])},
                                {"incorrect_answers", QJsonArray{encode("wrong")}}});
    return QJsonDocument(QJsonObject{{"response_code", 0}, {"results", list}}).toJson();
}

QString base64(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toBase64());
}

QString url3986(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

QString plain(const QString& text) {
    return text;
}

} // namespace

// Question files in every format the importer reads, cleaned and checked as the editor stores
// pairs, and the import/export programs around them, on the file and on a database server.
class ImportersTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TriviaDatabase> db_;

    static int run(const QString& program, const QStringList& args) {
        return ProgramRun(program, args).status;
    }

private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        db_ = std::make_unique<TriviaDatabase>(dir_->path());
        QCOMPARE(db_->createCategory("History"), DbStatus::Ok);
        QCOMPARE(db_->addPair("HISTORY", "OLD?", "YES"), DbStatus::Ok);
        qint64 score = 0;
        QCOMPARE(db_->scoreCorrectAnswer("ANNA", &score), DbStatus::Ok);
    }
    void cleanup() { db_.reset(); }

    void storesEachFormatAsTheEditorWould_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("added");   // after the seeded HISTORY|OLD?|YES
        QTest::addColumn<QStringList>("refused"); // "unit number|part of the reason"
        QTest::addColumn<QString>("summary");

        QTest::newRow("tsv: header, SQL in the text, blank line, duplicate, other-case category")
            << "bank.tsv"
            << QByteArray(
                   "category\tquestion\tanswer\nhistory\t  who said 'x'); DROP TABLE HISTORY;--?  \t \"; "
                   "DELETE FROM Psystem \n\nSCIENCE\tWhat is H2O?\n food \tQu'est-ce que la cr\xc3\xa8me "
                   "br\xc3\xbbl\xc3\xa9\x65?\tcr\xc3\xa8me\r\nHistory\told?\tyes\n")
            << QStringList{"FOOD|QU'EST-CE QUE LA CRÈME BRÛLÉE?|CRÈME",
                           "HISTORY|WHO SAID 'X'); DROP TABLE HISTORY;--?|\"; DELETE FROM PSYSTEM"}
            << QStringList{"line 4|found 2"} << "Added 2 questions in 2 categories; 1 duplicate";
        QTest::newRow("tsv: names no table may take, each reported once; reserved words as elsewhere")
            << "bank.tsv"
            << QByteArray("X]; DROP TABLE Psystem;--\tWhy?\tX\npsystem\tWhy?\tX\nGeneral\tWhy?\tX\nART\t" +
                          QByteArray(256, 'q') +
                          "\tX\nART\tWhy?\tA\x01"
                          "B\nGENERAL\tAgain?\tX\n")
            << QStringList{"GENERAL_|AGAIN?|X", "GENERAL_|WHY?|X"}
            << QStringList{"line 1|not a valid category", "line 2|database's own tables",
                           "line 4|256 characters", "line 5|control character"}
            << "4 records refused";
        QTest::newRow("json: references in text and answers, choice and true/false skipped")
            << "api.json"
            << openTdbJson({{"multiple", "Entertainment: Video Games",
                             "Who said &quot;Don&#039;t panic&quot;?", "Douglas &amp; Adams &eacute;&nbsp;"},
                            {"boolean", "Science &amp; Nature", "The sun is a star.", "True"},
                            {"multiple", "History", "Which of these was a king?", "Arthur"}},
                           plain)
            << QStringList{"ENTERTAINMENT_VIDEO_GAMES|WHO SAID \"DON'T PANIC\"?|DOUGLAS & ADAMS É"}
            << QStringList{} << "2 multiple-choice or true/false questions skipped";
        QTest::newRow("json: base64 of non-ASCII text")
            << "api.json"
            << openTdbJson({{"multiple", "Geography", "Où est Zürich?", "Schweiz – CH"}}, base64)
            << QStringList{utf8("GEOGRAPHY|OÙ EST ZÜRICH?|SCHWEIZ – CH")} << QStringList{}
            << "Added 1 question";
        QTest::newRow("json: url3986")
            << "api.json"
            << openTdbJson({{"multiple", "General Knowledge", "What is a café?", "A coffee shop"}}, url3986)
            << QStringList{utf8("GENERAL_KNOWLEDGE|WHAT IS A CAFÉ?|A COFFEE SHOP")} << QStringList{}
            << "Added 1 question";
        QTest::newRow("csv: BOM, header, quoted line break, SQL keyword and quote in categories")
            << "sheet.csv"
            << QByteArray(
                   "\xef\xbb\xbfQuestion,Answer,Category\r\n\"Line one\r\nline two, \"\"quoted\"\"\",\"A, "
                   "B\",Select\r\nplain?,yes,\"O'Brien \"\"quote\"\"\"\r\nshort row\r\n")
            << QStringList{"O_BRIEN_QUOTE|PLAIN?|YES", "SELECT_|LINE ONE LINE TWO, \"QUOTED\"|A, B"}
            << QStringList{"line 5|expected 3 fields"} << "Added 2 questions in 2 categories";
        QTest::newRow("csv: Windows-1252, no header")
            << "sheet.csv" << QByteArray("Food,Qu'est-ce que la cr\xe8me?,cr\xe8me \x80\r\n")
            << QStringList{utf8("FOOD|QU'EST-CE QUE LA CRÈME?|CRÈME €")} << QStringList{}
            << "Added 1 question";
        QTest::newRow("star lines: category from the file name, two asterisks refused")
            << "world capitals.txt" << QByteArray("Capital of France?*Paris\nWhat is 6*7?*42\nno star\n")
            << QStringList{"WORLD_CAPITALS|CAPITAL OF FRANCE?|PARIS"}
            << QStringList{"line 2|2 \"*\"", "line 3|no \"*\""} << "2 records refused";
    }

    void storesEachFormatAsTheEditorWould() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, added);
        QFETCH(QStringList, refused);
        QFETCH(QString, summary);
        const std::optional<ImportFormat::Kind> kind = ImportFormat::detect(bytes);
        QVERIFY(kind);
        const auto reader = ImportFormat::reader(*kind, bytes, QFileInfo(fileName).completeBaseName());
        QuestionImporter importer(*db_);
        QStringList errors;
        importer.setErrorHandler([&](const QuestionImporter::RecordError& e) {
            errors << QStringLiteral("%1 %2|%3").arg(e.unit).arg(e.number).arg(e.reason);
        });
        const QuestionImporter::Summary result = importer.import(*reader);
        QCOMPARE(result.outcome, QuestionImporter::Outcome::Done);
        QVERIFY2(result.text().contains(summary), qPrintable(result.text()));
        QCOMPARE(errors.size(), refused.size());
        for (int i = 0; i < refused.size(); ++i) {
            const QStringList expected = refused[i].split('|');
            QVERIFY2(errors[i].startsWith(expected[0] + '|') && errors[i].contains(expected[1]),
                     qPrintable(errors[i]));
        }
        QStringList expected = added;
        expected << "HISTORY|OLD?|YES";
        expected.sort();
        QStringList stored = contentOf(*db_);
        stored.sort();
        QCOMPARE(stored, expected);
        std::optional<qint64> anna;
        QCOMPARE(db_->lookupScore("ANNA", &anna), DbStatus::Ok);
        QCOMPARE(anna, std::optional<qint64>(1));
    }

    // A failed run leaves the database exactly as it was: a file cut off in the middle is
    // refused before anything is written, and a database locked by another program is not
    // half-written.
    void failedRunChangesNothing() {
        const QByteArray json = openTdbJson(
            {{"multiple", "Art", "Who painted it?", "Me"}, {"multiple", "Art", "And this?", "You"}}, plain);
        const auto cut =
            ImportFormat::reader(ImportFormat::Kind::OpenTdbJson, json.left(json.size() / 2 + 20), {});
        QuestionImporter importer(*db_);
        QuestionImporter::Summary result = importer.import(*cut);
        QCOMPARE(result.outcome, QuestionImporter::Outcome::CannotReadFile);
        QVERIFY2(result.failure.contains("cut off"), qPrintable(result.failure));

        TriviaDatabase other(dir_->path());
        QCOMPARE(other.beginBatch(), DbStatus::Ok);
        QCOMPARE(other.addPair("HISTORY", "THEIRS?", "YES"), DbStatus::Ok);
        db_->setBusyTimeout(50);
        const auto whole = ImportFormat::reader(ImportFormat::Kind::OpenTdbJson, json, {});
        result = QuestionImporter(*db_).import(*whole);
        QCOMPARE(result.outcome, QuestionImporter::Outcome::DatabaseFailed);
        QVERIFY2(result.failure.contains("nothing was imported") && result.failure.contains("locked"),
                 qPrintable(result.failure));
        QCOMPARE(result.pairsAdded(), 0);
        QCOMPARE(other.rollbackBatch(), DbStatus::Ok);
        QCOMPARE(contentOf(*db_), QStringList{"HISTORY|OLD?|YES"});
    }

    // A table of another layout fails in the middle of the run: the category made before it is
    // undone with it, unless the run goes on category by category.
    void failureMidRunUndoesTheRunUnlessKeepingGoing() {
        QVERIFY(TestFiles::sql(db_->filePath(), "CREATE TABLE BROKEN (X)").isActive());
        const QByteArray bank("ART\tA?\tA\nBROKEN\tB?\tB\nZOO\tC?\tC\n");
        QuestionImporter::Options options;
        for (const bool keepGoing : {false, true}) {
            options.keepGoing = keepGoing;
            const auto reader = ImportFormat::reader(ImportFormat::Kind::Tsv, bank, {});
            const QuestionImporter::Summary result = QuestionImporter(*db_, options).import(*reader);
            QCOMPARE(result.outcome, QuestionImporter::Outcome::DatabaseFailed);
            QCOMPARE(result.pairsAdded(), keepGoing ? 2 : 0);
            QVERIFY(!result.categories.value("BROKEN").failure.isEmpty());
        }
        QCOMPARE(contentOf(*db_), (QStringList{"ART|A?|A", "HISTORY|OLD?|YES", "ZOO|C?|C"}));
    }

    // The programs move a league from the file into an empty store, the file or a server's, and
    // out again unchanged; a dry run writes nothing, not even the scores table; scores are
    // replaced or added as asked.
    void leagueMovesThroughThePrograms_data() { StoreBackends::addRows(); }
    void leagueMovesThroughThePrograms() {
        QFETCH(bool, onServer);
        StoreBackends backends;
        QTemporaryDir copy;
        const TriviaStore target = backends.on(onServer, copy.path());
        if (onServer && !backends.server().isRunning())
            return;
        const QStringList into = onServer
                                     ? QStringList{"--database", backends.server().url(backends.database())}
                                     : QStringList{copy.path()};
        const QString bank = dir_->filePath("bank.tsv");
        QVERIFY(TestFiles::write(
            bank, QByteArray("ART\tWho painted the Mona Lisa?\tLeonardo\nMUSIC\t&quot;Yesterday&quot; "
                             "was by?\tThe Beatles\nART\tTrue or not: paint dries.\tTrue\nART\t"
                             "Caf\xc3\xa9 or tea?\tCaf\xc3\xa9 \xe2\x82\xac\n")));
        QCOMPARE(run("palvuro-import", {bank, dir_->path()}), 0);
        const QString q1 = dir_->filePath("q1.tsv"), s1 = dir_->filePath("s1.tsv");
        const QString q2 = dir_->filePath("q2.tsv"), s2 = dir_->filePath("s2.tsv");
        QCOMPARE(run("palvuro-export", {dir_->path(), "--questions", q1, "--scores", s1}), 0);

        const ProgramRun dryRun("palvuro-import", QStringList{"--dry-run", q1} + into);
        QCOMPARE(dryRun.status, 0);
        QVERIFY2((dryRun.out + dryRun.err).contains("Would add 4 questions"), dryRun.out + dryRun.err);
        QCOMPARE(run("palvuro-import", QStringList{"--dry-run", "--scores", s1, "--replace-scores"} + into),
                 0);
        const QString tables = "SELECT relname FROM pg_class WHERE relnamespace = 'public'::regnamespace";
        QVERIFY(onServer ? backends.server().values(tables, backends.database()).isEmpty()
                         : QDir(copy.path()).isEmpty());
        QCOMPARE(run("palvuro-import", QStringList{q1, "--scores", s1, "--replace-scores"} + into), 0);
        QCOMPARE(run("palvuro-export", QStringList{"--questions", q2, "--scores", s2} + into), 0);
        QCOMPARE(TestFiles::read(q2), TestFiles::read(q1));
        QCOMPARE(TestFiles::read(s2), QByteArray("ANNA\t1\n"));
        QCOMPARE(TestFiles::read(q1),
                 QByteArray("category\tquestion\tanswer\nART\tWHO PAINTED THE MONA LISA?\tLEONARDO\n"
                            "ART\tCAF\xc3\x89 OR TEA?\tCAF\xc3\x89 \xe2\x82\xac\nHISTORY\tOLD?\tYES\n"
                            "MUSIC\t\"YESTERDAY\" WAS BY?\tTHE BEATLES\n"));

        QCOMPARE(run("palvuro-import", QStringList{"--scores", s1, "--add-scores"} + into), 0);
        QCOMPARE(StoreBackends::pointsOf(target, "ANNA"), std::optional<qint64>(2));
        QCOMPARE(run("palvuro-import", QStringList{"--scores", s1} + into), 2); // neither replace nor add
        QCOMPARE(run("palvuro-import", QStringList{"--format", "xml", q1} + into), 2);
    }

    // Beyond the files the format table above reads whole.
    void detectsTheFormatFromTheContent_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("format"); // empty: cannot tell
        QTest::newRow("json after a BOM and blanks")
            << QByteArray("\xef\xbb\xbf \n {\"results\": [") << "json";
        QTest::newRow("csv with a star in a question") << QByteArray("What is 2*3?,6\nWho?,Me\n") << "csv";
        QTest::newRow("plain prose") << QByteArray("Just some text\nwith lines\n") << "";
    }

    void detectsTheFormatFromTheContent() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, format);
        const std::optional<ImportFormat::Kind> kind = ImportFormat::detect(bytes);
        QCOMPARE(kind ? ImportFormat::nameOf(*kind) : QString(), format);
    }

    // Added to the current points or replacing the table; a bad line is refused by number and
    // the rest still restored.
    void restoresScoresLineByLine() {
        const QByteArray file("nick\tpoints\nanna\t5\n BOB \t-3\nCARL\t12x\n\t4\nDAN\t99999999999999999999\n"
                              "EVE\t7\textra\n");
        QList<qint64> refused;
        ScoreImporter add(*db_, ScoreImporter::Mode::Add, false);
        add.setErrorHandler([&](qint64 line, const QString&) { refused << line; });
        const ScoreImporter::Summary summary = add.import(file);
        QVERIFY(summary.ok);
        QCOMPARE(summary.stored, 2);
        QCOMPARE(refused, (QList<qint64>{4, 5, 6, 7}));
        QList<TriviaDatabase::Score> scores;
        QCOMPARE(db_->allScores(&scores), DbStatus::Ok);
        QCOMPARE(scores.size(), 2);
        QCOMPARE(scores[0].nick + ' ' + QString::number(scores[0].points), QStringLiteral("ANNA 6"));
        QCOMPARE(scores[1].nick + ' ' + QString::number(scores[1].points), QStringLiteral("BOB -3"));

        QVERIFY(
            ScoreImporter(*db_, ScoreImporter::Mode::Replace, false).import("ZOE\t9223372036854775807\n").ok);
        QVERIFY(ScoreImporter(*db_, ScoreImporter::Mode::Add, false).import("ZOE\t1\n").ok);
        QCOMPARE(db_->allScores(&scores), DbStatus::Ok);
        QCOMPARE(scores.size(), 1);
        QCOMPARE(scores[0].points, std::numeric_limits<qint64>::max()); // capped, not wrapped
    }

    void referencesDecodeOnlyWhenTheyNameACharacter_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("named and numeric") << "&lt;&Eacute;&#233;&#xE9;&#X00e9;&gt;" << utf8("<Éééé>");
        QTest::newRow("once only") << "&amp;amp; &amp;#39;"
                                   << "&amp; &#39;";
        QTest::newRow("no character") << "AT&T &bogus; &#0; &#xD800; &#x110000; &#; &#12a; & ;"
                                      << "AT&T &bogus; &#0; &#xD800; &#x110000; &#; &#12a; & ;";
        QTest::newRow("beyond the BMP") << "&#128512;" << utf8("😀");
    }

    void referencesDecodeOnlyWhenTheyNameACharacter() {
        QFETCH(QString, text);
        QFETCH(QString, decoded);
        QCOMPARE(HtmlEntities::decoded(text), decoded);
    }
};

QTEST_GUILESS_MAIN(ImportersTest)
#include "tst_importers.moc"
