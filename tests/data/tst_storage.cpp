#include "data/SettingsStore.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "platform/LetterCase.h"
#include "tests/support/StoreBackends.h"
#include "tests/support/TestFiles.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace palvuro;

Q_DECLARE_METATYPE(palvuro::DbStatus)

// What the program keeps: the questions and scores, on the file Trivia.mdb and on a database
// server alike, and the users file.
class StorageTest : public QObject {
    Q_OBJECT

private:
    StoreBackends backends_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<TriviaStore> store_;
    std::unique_ptr<TriviaDatabase> db_;
    QString path() const { return dir_->filePath(QStringLiteral("Trivia.mdb")); }

    qint64 scoreOf(const QString& nick) { return StoreBackends::scoreOf(*db_, nick); }
    QStringList categories() { return StoreBackends::categoriesOf(*db_); }
    QString pairsOf(const QString& category) { return StoreBackends::pairsOf(*db_, category).join('|'); }

private Q_SLOTS:
    void initTestCase_data() { StoreBackends::addRows(); }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        store_ = backends_.forRow(dir_->path());
        db_ = store_->connect();
        QCOMPARE(db_->open(), DbStatus::Ok);
    }
    void cleanup() { db_.reset(); }

    // The operator's box shows the new value either way: the log says it was not kept.
    void unkeptSettingIsLogged() {
        if (backends_.onServer())
            QSKIP("the settings are the same whatever the store");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path() + QStringLiteral("/config"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^setting Get/Question not kept: .*/Trivia.mdb/config/"
                                                "Quorvex.conf cannot be written$"));
        SettingsStore::write(SettingsStore::NextQuestion, QStringLiteral("30"));
    }

    void listsCategoriesWithoutSystemTablesInNameOrder() {
        if (backends_.onServer())
            QSKIP("the file's own tables");
        for (const char* name : {"HISTORY", "~TMP", "MSysObjects", "Zeta", "alpha", "ÉTÉ"})
            TestFiles::sql(
                path(),
                QStringLiteral("CREATE TABLE \"%1\" (Questions, Answers)").arg(QString::fromUtf8(name)));
        TestFiles::sql(path(), "CREATE TABLE Counted (id INTEGER PRIMARY KEY AUTOINCREMENT)");
        TestFiles::sql(path(), "INSERT INTO Counted DEFAULT VALUES"); // makes sqlite_sequence
        QCOMPARE(categories(),
                 QStringList({"Counted", "HISTORY", "Zeta", "alpha", QString::fromUtf8("ÉTÉ")}));
        QCOMPARE(db_->findCategory(QString::fromUtf8("été")),
                 std::optional<QString>(QString::fromUtf8("ÉTÉ")));
        for (const char* hidden : {"psystem", "~tmp", "sqlite_sequence"})
            QCOMPARE(db_->findCategory(hidden), std::nullopt);
    }

    // Beside HISTORY. The server takes names of at most 63 bytes and would cut longer ones short
    // unasked, where the file takes 64 characters.
    void createsCategories_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<DbStatus>("status");
        QTest::addColumn<DbStatus>("onServer");
        const auto row = [](const char* tag, const QString& typed, DbStatus status,
                            std::optional<DbStatus> onServer = {}) {
            QTest::newRow(tag) << typed << status << onServer.value_or(status);
        };
        row("trimmed, upper-cased", "  Movies ", DbStatus::Ok);
        row("another case of one there", "history", DbStatus::AlreadyExists);
        row("blank inside", "World Capitals", DbStatus::InvalidName);
        row("spaces only", "   ", DbStatus::InvalidName);
        row("reserved word", "select", DbStatus::InvalidName);
        row("quotes and statements", "X\"; DROP TABLE Psystem; --", DbStatus::InvalidName);
        row("word only SQLite reserves", "window", DbStatus::Ok);
        row("engine prefix", "MSysStuff", DbStatus::InvalidName);
        row("64 characters", QString(64, 'M'), DbStatus::Ok, DbStatus::InvalidName);
        row("32 two-byte characters", QString(32, QChar(0xC4)), DbStatus::Ok, DbStatus::InvalidName);
        row("63 bytes", QString(31, QChar(0xC4)) + 'M', DbStatus::Ok);
        row("too long", QString(65, QLatin1Char('A')), DbStatus::InvalidName);
        row("engine table", "sqlite_master", DbStatus::AlreadyExists);
    }
    void createsCategories() {
        QFETCH(QString, typed);
        QFETCH(DbStatus, status);
        QFETCH(DbStatus, onServer);
        const DbStatus expected = store_->isServer() ? onServer : status;
        QCOMPARE(db_->createCategory("HISTORY"), DbStatus::Ok);
        QCOMPARE(db_->createCategory(typed), expected);
        QStringList names{"HISTORY"};
        if (expected == DbStatus::Ok)
            names << LetterCase::upper(typed.trimmed());
        names.sort();
        QCOMPARE(categories(), names);
        if (expected != status)
            QVERIFY2(db_->errorText().contains("at most 63 bytes"), qPrintable(db_->errorText()));
    }

    // Rows another program wrote: nulls and blank answers are never asked; the answer is
    // upper-cased and trimmed on the left only.
    void pickReportsCategoriesWithoutQuestions() {
        for (const char* name : {"UNUSABLE", "ONE", "EMPTY"})
            QCOMPARE(db_->createCategory(name), DbStatus::Ok);
        const auto insert = [&](const char* table, const char* values) {
            const QString sql = QStringLiteral("INSERT INTO \"%1\" (Questions, Answers) VALUES (%2)");
            return backends_.sql(*store_, sql.arg(QLatin1String(table), QLatin1String(values)));
        };
        for (const char* row : {"NULL, 'A'", "'Q', NULL", "'Q', '   '", "'Q', ''"})
            QVERIFY(insert("UNUSABLE", row));
        for (const char* row : {"NULL, 'A'", "'  who? ', '  new york '", "'Q', ' '"})
            QVERIFY(insert("ONE", row));
        TriviaDatabase::Question question;
        QCOMPARE(db_->pickQuestion("UNUSABLE", &question), DbStatus::NoUsableQuestion);
        QCOMPARE(db_->pickQuestion("EMPTY", &question), DbStatus::EmptyCategory);
        QCOMPARE(db_->pickQuestion("GONE", &question), DbStatus::NoSuchCategory);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(db_->pickQuestion("one", &question), DbStatus::Ok);
            QCOMPARE(question.question + '|' + question.answer, QString("who? |NEW YORK "));
        }
        QCOMPARE(store_->connect()->dropCategory("ONE"), DbStatus::Ok); // by another connection
        QCOMPARE(db_->pickQuestion("ONE", &question), DbStatus::NoSuchCategory);
    }

    // Nicks are kept as said, hostile ones too; another connection counts on from the same rows;
    // points never wrap; ties are listed in code point order, whatever the server's locale.
    void scoresCountUpAndLast() {
        const QString hostile = QString::fromUtf8("O'BRIEN\"; DROP TABLE Psystem; --ÄÖ");
        QCOMPARE(scoreOf("BOB"), 1);
        QCOMPARE(scoreOf(hostile), 1);
        QCOMPARE(scoreOf("bob"), 1);
        const auto other = store_->connect();
        QCOMPARE(StoreBackends::scoreOf(*other, "BOB"), 2);
        QCOMPARE(StoreBackends::scoreOf(*other, hostile), 2);
        QCOMPARE(other->setScore("BOB", 2147483647), DbStatus::Ok);
        QCOMPARE(scoreOf("BOB"), 2147483648LL);
        QCOMPARE(db_->storeScore("ZED", std::numeric_limits<qint64>::max() - 1, false), DbStatus::Ok);
        QCOMPARE(db_->storeScore("ZED", 5, true), DbStatus::Ok);
        QCOMPARE(scoreOf("ZED"), std::numeric_limits<qint64>::max());
        QCOMPARE(db_->setScore(hostile, 1), DbStatus::Ok);
        QList<TriviaDatabase::Score> top;
        QCOMPARE(other->topScores(&top), DbStatus::Ok);
        QStringList shown;
        for (const auto& score : top)
            shown << score.nick + ' ' + QString::number(score.points);
        QCOMPARE(shown, (QStringList{"ZED 9223372036854775807", "BOB 2147483648", hostile + " 1", "bob 1"}));
        QCOMPARE(StoreBackends::pointsOf(*store_, "Bob"), std::nullopt);
        QCOMPARE(db_->deleteAllScores(), DbStatus::Ok);
        QCOMPARE(StoreBackends::pointsOf(*store_, "BOB"), std::nullopt);
    }

    // Pairs are found by their text and then changed and deleted by the row found, never by
    // their text; chat text in any field is a value, never SQL.
    void findsAndChangesPairsHoldingHostileText() {
        const QString value = QString::fromUtf8("IT'S \"QUOTED\" ]; DROP TABLE [PSYSTEM 東京 🎉");
        QCOMPARE(db_->createCategory("MIXED"), DbStatus::Ok);
        QCOMPARE(db_->beginBatch(), DbStatus::Ok);
        QCOMPARE(db_->addPairs("MIXED", {{"OTHER", "OTHER"}, {value, value}}), DbStatus::Ok);
        QCOMPARE(db_->commitBatch(), DbStatus::Ok);
        QCOMPARE(db_->addPair("mixed", value, "SECOND"), DbStatus::Ok);
        TriviaDatabase::Pair pair;
        QCOMPARE(db_->findPairByQuestion("Mixed", "  " + value.toLower() + " ", &pair), DbStatus::Ok);
        QCOMPARE(pair.question, value);
        QCOMPARE(pair.answer, value); // the first in row order
        QCOMPARE(db_->findPairByAnswer("MIXED", value.toLower(), &pair), DbStatus::Ok);
        QCOMPARE(pair.answer, value);
        QCOMPARE(db_->updatePair(pair, "", "NEW"), DbStatus::Ok);
        QCOMPARE(pairsOf("MIXED"), "OTHER/OTHER|/NEW|" + value + "/SECOND");
        QCOMPARE(db_->deletePair(pair), DbStatus::Ok);
        QCOMPARE(db_->deletePair(pair), DbStatus::NotFound);
        QCOMPARE(db_->updatePair(pair, "X", "Y"), DbStatus::NotFound);
        QCOMPARE(pairsOf("MIXED"), "OTHER/OTHER|" + value + "/SECOND");

        const QStringList hostile = {"'; DROP TABLE Psystem; --", "$1 ? :nick \\' \\\\", "\"MIXED\""};
        for (const QString& text : hostile) {
            QCOMPARE(scoreOf(text), 1);
            QCOMPARE(db_->addPair(text, "Q", "A"), DbStatus::NoSuchCategory);
            QCOMPARE(db_->findPairByQuestion(text, "Q", &pair), DbStatus::NoSuchCategory);
            QCOMPARE(db_->addPair("MIXED", text, text), DbStatus::Ok);
        }
        QStringList stored{"OTHER/OTHER", value + "/SECOND"};
        for (const QString& text : hostile)
            stored << text + '/' + text;
        QCOMPARE(pairsOf("MIXED"), stored.join('|'));
        QCOMPARE(categories(), QStringList{"MIXED"});
    }

    // A database cut short after its first pages, as a failed copy leaves it; garbage and a file cut in
    // its first page are the fault suites' cases.
    void leavesForeignFilesUntouched() {
        if (backends_.onServer())
            QSKIP("the file's own faults");
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
        QCOMPARE(StoreBackends::scoreOf(fresh, "BOB"), 1); // an empty file becomes a database
    }

    // A save that cannot write every name keeps the old file whole.
    void savesInTheCodePage() {
        if (backends_.onServer())
            QSKIP("the users file is in the folder whatever the store");
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
