#include "data/SettingsStore.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "platform/LetterCase.h"
#include "tests/support/TestFiles.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace palvuro;

Q_DECLARE_METATYPE(palvuro::DbStatus)

namespace {

// One correct answer: the new score, or -1 when it failed.
qint64 scoreOf(TriviaDatabase& db, const QString& nick) {
    qint64 score = 0;
    return db.scoreCorrectAnswer(nick, &score) == DbStatus::Ok ? score : -1;
}

QStringList categoriesOf(TriviaDatabase& db) {
    QStringList names;
    return db.listCategories(&names) == DbStatus::Ok ? names : QStringList{"<failed>"};
}

} // namespace

// What the program keeps on disk: the database Trivia.mdb and the users file.
class StorageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TriviaDatabase> db_;
    QString path() const { return dir_->filePath(QStringLiteral("Trivia.mdb")); }

private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        db_ = std::make_unique<TriviaDatabase>(dir_->path());
        QCOMPARE(db_->open(), DbStatus::Ok);
    }
    void cleanup() { db_.reset(); }

    // The operator's box shows the new value either way: the log says it was not kept.
    void unkeptSettingIsLogged() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path() + QStringLiteral("/config"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^setting Get/Question not kept: .*/Trivia.mdb/config/"
                                                "Quorvex.conf cannot be written$"));
        SettingsStore::write(SettingsStore::NextQuestion, QStringLiteral("30"));
    }

    void listsCategoriesWithoutSystemTablesInNameOrder() {
        for (const char* name : {"HISTORY", "~TMP", "MSysObjects", "Zeta", "alpha", "ÉTÉ"})
            TestFiles::sql(
                path(),
                QStringLiteral("CREATE TABLE \"%1\" (Questions, Answers)").arg(QString::fromUtf8(name)));
        TestFiles::sql(path(), "CREATE TABLE Counted (id INTEGER PRIMARY KEY AUTOINCREMENT)");
        TestFiles::sql(path(), "INSERT INTO Counted DEFAULT VALUES"); // makes sqlite_sequence
        QCOMPARE(categoriesOf(*db_),
                 QStringList({"Counted", "HISTORY", "Zeta", "alpha", QString::fromUtf8("ÉTÉ")}));
        QCOMPARE(db_->findCategory(QString::fromUtf8("été")),
                 std::optional<QString>(QString::fromUtf8("ÉTÉ")));
        for (const char* hidden : {"psystem", "~tmp", "sqlite_sequence"})
            QCOMPARE(db_->findCategory(hidden), std::nullopt);
    }

    void createsCategories_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<DbStatus>("status");
        QTest::newRow("trimmed, upper-cased") << "  Movies " << DbStatus::Ok;
        QTest::newRow("blank inside") << "World Capitals" << DbStatus::InvalidName;
        QTest::newRow("spaces only") << "   " << DbStatus::InvalidName;
        QTest::newRow("reserved word") << "select" << DbStatus::InvalidName;
        QTest::newRow("word only SQLite reserves") << "window" << DbStatus::Ok;
        QTest::newRow("engine prefix") << "MSysStuff" << DbStatus::InvalidName;
        QTest::newRow("too long") << QString(65, QLatin1Char('A')) << DbStatus::InvalidName;
        QTest::newRow("engine table") << "sqlite_master" << DbStatus::AlreadyExists;
    }
    void createsCategories() {
        QFETCH(QString, typed);
        QFETCH(DbStatus, status);
        QCOMPARE(db_->createCategory(typed), status);
        QCOMPARE(categoriesOf(*db_),
                 status == DbStatus::Ok ? QStringList{LetterCase::upper(typed.trimmed())} : QStringList());
    }

    void pickReportsCategoriesWithoutQuestions() {
        for (const char* name : {"UNUSABLE", "ONE"})
            QCOMPARE(db_->createCategory(name), DbStatus::Ok);
        const QVariant null;
        for (const QVariantList& row : {QVariantList{null, "A"}, {"Q", null}, {"Q", "   "}, {"Q", ""}})
            TestFiles::sql(path(), "INSERT INTO UNUSABLE VALUES (?, ?)", row);
        for (const QVariantList& row : {QVariantList{null, "A"}, {"  who? ", "  new york "}, {"Q", " "}})
            TestFiles::sql(path(), "INSERT INTO ONE VALUES (?, ?)", row);
        TriviaDatabase::Question question;
        QCOMPARE(db_->pickQuestion("UNUSABLE", &question), DbStatus::NoUsableQuestion);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(db_->pickQuestion("ONE", &question), DbStatus::Ok);
            QCOMPARE(question.question + '|' + question.answer, QString("who? |NEW YORK "));
        }
    }

    void scoresCountUpAndLast() {
        const QString hostile = QString::fromUtf8("O'BRIEN\"; DROP TABLE Psystem; --ÄÖ");
        QCOMPARE(scoreOf(*db_, "BOB"), 1);
        QCOMPARE(scoreOf(*db_, hostile), 1);
        db_.reset();
        TriviaDatabase other(dir_->path());
        QCOMPARE(scoreOf(other, "BOB"), 2);
        QCOMPARE(scoreOf(other, hostile), 2);
        QCOMPARE(other.setScore("BOB", 2147483647), DbStatus::Ok);
        QCOMPARE(scoreOf(other, "BOB"), 2147483648LL);
    }

    // Pairs are found by their text and then changed and deleted by the row found, never by their text.
    void findsAndChangesPairsHoldingHostileText() {
        const QString value = QString::fromUtf8("IT'S \"QUOTED\" ]; DROP TABLE [PSYSTEM 東京 🎉");
        QCOMPARE(db_->createCategory("MIXED"), DbStatus::Ok);
        QCOMPARE(db_->addPair("MIXED", "OTHER", "OTHER"), DbStatus::Ok);
        QCOMPARE(db_->addPair("mixed", value, value), DbStatus::Ok);
        QCOMPARE(db_->addPair("MIXED", value, "SECOND"), DbStatus::Ok);
        TriviaDatabase::Pair pair;
        QCOMPARE(db_->findPairByQuestion("Mixed", "  " + value.toLower() + " ", &pair), DbStatus::Ok);
        QCOMPARE(pair.question, value);
        QCOMPARE(pair.answer, value); // the first in row order
        QCOMPARE(db_->findPairByAnswer("MIXED", value.toLower(), &pair), DbStatus::Ok);
        QCOMPARE(pair.answer, value);
        QCOMPARE(db_->updatePair(pair, "", "NEW"), DbStatus::Ok);
        QCOMPARE(TestFiles::pairsOf(path(), "MIXED"), "OTHER/OTHER|/NEW|" + value + "/SECOND");
        QCOMPARE(db_->deletePair(pair), DbStatus::Ok);
        QCOMPARE(db_->updatePair(pair, "X", "Y"), DbStatus::NotFound);
        QCOMPARE(TestFiles::pairsOf(path(), "MIXED"), "OTHER/OTHER|" + value + "/SECOND");
    }

    // A database cut short after its first pages, as a failed copy leaves it; garbage and a file cut in
    // its first page are the fault suites' cases.
    void leavesForeignFilesUntouched() {
        QTemporaryDir other;
        TestFiles::sql(other.filePath("big"),
                       "CREATE TABLE BIG AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                       "FROM n WHERE i < 200) SELECT zeroblob(200) AS Questions, i AS Answers FROM n");
        const QByteArray cut = TestFiles::read(other.filePath("big")).left(2 * 4096);
        db_.reset();
        QVERIFY(TestFiles::write(path(), cut));
        TriviaDatabase db(dir_->path());
        qint64 score = 0;
        QCOMPARE(db.scoreCorrectAnswer("BOB", &score), DbStatus::NotADatabase);
        QVERIFY(score == 0 && db.errorText().contains("Trivia.mdb"));
        QCOMPARE(db.createCategory("ART"), DbStatus::NotADatabase);
        QCOMPARE(TestFiles::read(path()), cut);
        QVERIFY(TestFiles::write(path(), QByteArray()));
        TriviaDatabase fresh(dir_->path());
        QCOMPARE(scoreOf(fresh, "BOB"), 1); // an empty file becomes a database
    }

    // A save that cannot write every name keeps the old file whole.
    void savesInTheCodePage() {
        const UsersList list(dir_->path());
        const QString odd = QString::fromUtf8("€ é\r\n");
        QVERIFY(list.save({"Amy", UsersList::deletedMarker(), "Smith, J", "*****deleted*****", odd}));
        const QByteArray saved("\"Amy\"\r\n\"Smith, J\"\r\n\"*****deleted*****\"\r\n\"\x80 \xe9\r\n\"\r\n");
        QCOMPARE(TestFiles::read(list.filePath()), saved);
        QCOMPARE(list.load(), QStringList({"Amy", "Smith, J", "*****deleted*****", odd}));
        QString why;
        QVERIFY(!list.save({"Ben", QString::fromUtf8("東京")}, &why));
        QVERIFY2(why.contains(QString::fromUtf8("東京")), qPrintable(why));
        QCOMPARE(TestFiles::read(list.filePath()), saved);
    }
};

QTEST_GUILESS_MAIN(StorageTest)
#include "tst_storage.moc"
