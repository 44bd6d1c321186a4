#include "data/TriviaDatabase.h"
#include "tests/data/DataFiles.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace palvuro;
using namespace palvuro::datatest;

Q_DECLARE_METATYPE(palvuro::DbStatus)

namespace {

// A second connection to the file, for setting up and inspecting tables as another program would.
class RawConnection {
public:
    explicit RawConnection(const QString& path) : name_(QStringLiteral("raw-%1").arg(quintptr(this))) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawConnection() {
        QSqlDatabase::database(name_).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlQuery run(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery query(QSqlDatabase::database(name_));
        query.prepare(sql);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec())
            qWarning() << sql << query.lastError().text();
        return query;
    }
    bool exec(const QString& sql, const QVariantList& values = {}) { return run(sql, values).isActive(); }
    int count(const QString& sql) {
        QSqlQuery query = run(sql);
        return query.next() ? query.value(0).toInt() : -1;
    }

private:
    QString name_;
};

// One correct answer: the new score, or -1 when it failed.
qint64 scoreOf(TriviaDatabase& db, const QString& nick) {
    qint64 score = 0;
    return db.scoreCorrectAnswer(nick, &score) == DbStatus::Ok ? score : -1;
}

using Points = std::optional<qint64>;
Points pointsOf(TriviaDatabase& db, const QString& nick) {
    Points points;
    return db.lookupScore(nick, &points) == DbStatus::Ok ? points : Points(-1);
}

} // namespace

class TriviaDatabaseTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TriviaDatabase> db_;
    QString path() const { return dir_->filePath(QStringLiteral("Trivia.mdb")); }

    void addCategory(const QString& name, const QList<QPair<QVariant, QVariant>>& rows) {
        QCOMPARE(db_->createCategory(name), DbStatus::Ok);
        RawConnection raw(path());
        for (const auto& row : rows)
            QVERIFY(raw.exec(QStringLiteral("INSERT INTO \"%1\" VALUES (?, ?)").arg(name),
                             {row.first, row.second}));
    }

private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        db_ = std::make_unique<TriviaDatabase>(dir_->path());
        QCOMPARE(db_->open(), DbStatus::Ok);
    }
    void cleanup() {
        db_.reset();
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void listsCategoriesWithoutSystemTablesInNameOrder() {
        RawConnection raw(path());
        for (const char* name : {"HISTORY", "ART", "~TMP", "MSysObjects", "msysx", "Zeta", "alpha", "ÉTÉ"})
            QVERIFY(raw.exec(
                QStringLiteral("CREATE TABLE \"%1\" (Questions, Answers)").arg(QString::fromUtf8(name))));
        QVERIFY(raw.exec(QStringLiteral("CREATE TABLE Counted (id INTEGER PRIMARY KEY AUTOINCREMENT)")));
        QVERIFY(raw.exec(QStringLiteral("INSERT INTO Counted DEFAULT VALUES"))); // makes sqlite_sequence
        QStringList names;
        QCOMPARE(db_->listCategories(&names), DbStatus::Ok);
        QCOMPARE(names,
                 QStringList({"ART", "Counted", "HISTORY", "Zeta", "alpha", QString::fromUtf8("ÉTÉ")}));
        QCOMPARE(db_->findCategory("history"), std::optional<QString>("HISTORY"));
        QCOMPARE(db_->findCategory(QString::fromUtf8("été")),
                 std::optional<QString>(QString::fromUtf8("ÉTÉ")));
        QCOMPARE(db_->findCategory("psystem"), std::nullopt);
        QCOMPARE(db_->findCategory("~tmp"), std::nullopt);
        QCOMPARE(db_->findCategory("sqlite_sequence"), std::nullopt);
    }

    void createsCategories_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<DbStatus>("status");
        QTest::newRow("trimmed, upper-cased") << "  Movies " << DbStatus::Ok;
        QTest::newRow("underscore first") << "_x1" << DbStatus::Ok;
        QTest::newRow("blank inside") << "World Capitals" << DbStatus::InvalidName;
        QTest::newRow("spaces only") << "   " << DbStatus::InvalidName;
        QTest::newRow("reserved word") << "select" << DbStatus::InvalidName;
        QTest::newRow("digit first") << "1st" << DbStatus::InvalidName;
        QTest::newRow("injection") << "ART]; DROP TABLE Psystem; --" << DbStatus::InvalidName;
        QTest::newRow("engine prefix") << "MSysStuff" << DbStatus::InvalidName;
        QTest::newRow("too long") << QString(65, QLatin1Char('A')) << DbStatus::InvalidName;
        QTest::newRow("other case") << "art" << DbStatus::AlreadyExists;
        QTest::newRow("scores table") << "psystem" << DbStatus::AlreadyExists;
        QTest::newRow("engine table") << "sqlite_master" << DbStatus::AlreadyExists;
    }
    void createsCategories() {
        QFETCH(QString, typed);
        QFETCH(DbStatus, status);
        QCOMPARE(db_->createCategory("ART"), DbStatus::Ok);
        QCOMPARE(scoreOf(*db_, "ANNA"), 1);
        QCOMPARE(db_->createCategory(typed), status);
        QStringList names;
        QCOMPARE(db_->listCategories(&names), DbStatus::Ok);
        const QString expected = typed.trimmed().toUpper();
        QCOMPARE(names, status == DbStatus::Ok ? QStringList({"ART", expected}) : QStringList({"ART"}));
        QCOMPARE(pointsOf(*db_, "ANNA"), Points(1));
        if (status == DbStatus::Ok) {
            QCOMPARE(db_->addPair(typed.trimmed(), "Q", "A"), DbStatus::Ok);
            QCOMPARE(db_->dropCategory(typed.trimmed().toLower()), DbStatus::Ok);
            QCOMPARE(db_->findCategory(expected), std::nullopt);
        }
    }

    void pickReportsCategoriesWithoutQuestions() {
        addCategory("EMPTY", {});
        addCategory("UNUSABLE", {{QVariant(), "A"}, {"Q", QVariant()}, {"Q", "   "}, {"Q", ""}});
        TriviaDatabase::Question question;
        QCOMPARE(db_->pickQuestion("empty", &question), DbStatus::EmptyCategory);
        QCOMPARE(db_->pickQuestion("UNUSABLE", &question), DbStatus::NoUsableQuestion);
        QCOMPARE(db_->pickQuestion("GONE", &question), DbStatus::NoSuchCategory);
        addCategory("ONE", {{QVariant(), "A"}, {"  who? ", "  new york "}, {"Q", " "}});
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(db_->pickQuestion("ONE", &question), DbStatus::Ok);
            QCOMPARE(question.question, QString("who? "));
            QCOMPARE(question.answer, QString("NEW YORK "));
        }
    }

    // Loose chi-square bounds: a fair pick fails them far less than once in a million runs.
    void pickIsUniformAlsoOverGaps_data() {
        QTest::addColumn<QList<int>>("rowids");
        QTest::newRow("five rows") << QList<int>({1, 2, 3, 4, 5});
        QTest::newRow("mostly gaps") << QList<int>({1, 700, 701, 1999});
        QTest::newRow("one row far from the start") << QList<int>({500});
    }
    void pickIsUniformAlsoOverGaps() {
        QFETCH(QList<int>, rowids);
        QCOMPARE(db_->createCategory("GAPS"), DbStatus::Ok);
        {
            RawConnection raw(path());
            for (int id : rowids)
                raw.exec("INSERT INTO GAPS (rowid, Questions, Answers) VALUES (?, ?, 'A')",
                         {id, QString::number(id)});
        }
        QHash<QString, int> counts;
        TriviaDatabase::Question question;
        for (int i = 0; i < 1000 * rowids.size(); ++i) {
            QCOMPARE(db_->pickQuestion("GAPS", &question), DbStatus::Ok);
            ++counts[question.question];
        }
        QCOMPARE(counts.size(), rowids.size());
        double chiSquare = 0;
        for (int count : std::as_const(counts))
            chiSquare += (count - 1000.0) * (count - 1000.0) / 1000.0;
        QVERIFY2(chiSquare < 40, qPrintable(QString::number(chiSquare)));
    }

    void scoresCountUpAndLast() {
        const QString hostile = QString::fromUtf8("O'BRIEN\"; DROP TABLE Psystem; --ÄÖ");
        QCOMPARE(scoreOf(*db_, "BOB"), 1);
        QCOMPARE(scoreOf(*db_, "BOB"), 2);
        QCOMPARE(scoreOf(*db_, hostile), 1);
        db_.reset();
        TriviaDatabase other(dir_->path());
        QCOMPARE(pointsOf(other, "BOB"), Points(2));
        QCOMPARE(pointsOf(other, hostile), Points(1));
        QCOMPARE(pointsOf(other, "NOBODY"), std::nullopt);
        QCOMPARE(other.setScore("BOB", 2147483647), DbStatus::Ok);
        QCOMPARE(other.setScore("NOBODY", 5), DbStatus::Ok);
        QCOMPARE(pointsOf(other, "NOBODY"), std::nullopt);
        QCOMPARE(scoreOf(other, "BOB"), 2147483648LL);
        QCOMPARE(other.deleteAllScores(), DbStatus::Ok);
        QCOMPARE(scoreOf(other, "BOB"), 1);
    }

    void findsPairsHoldingHostileText_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("quotes, brackets") << "IT'S \"QUOTED\" ]; DROP TABLE [PSYSTEM";
        QTest::newRow("comment") << "X' OR 1=1 --";
        QTest::newRow("non-ascii") << QString::fromUtf8("ÜBER ÇA VA? 東京 🎉");
    }
    void findsPairsHoldingHostileText() {
        QFETCH(QString, value);
        QCOMPARE(db_->createCategory("MIXED"), DbStatus::Ok);
        QCOMPARE(db_->addPair("MIXED", "OTHER", "OTHER"), DbStatus::Ok);
        QCOMPARE(db_->addPair("mixed", value, value), DbStatus::Ok);
        QCOMPARE(db_->addPair("MIXED", value, "SECOND"), DbStatus::Ok);
        TriviaDatabase::Pair pair;
        QCOMPARE(db_->findPairByQuestion("Mixed", "  " + value.toLower() + " ", &pair), DbStatus::Ok);
        QCOMPARE(pair.category, QString("MIXED"));
        QCOMPARE(pair.question, value);
        QCOMPARE(pair.answer, value); // the first in row order
        QCOMPARE(db_->findPairByAnswer("MIXED", value.toLower(), &pair), DbStatus::Ok);
        QCOMPARE(pair.answer, value);
        QCOMPARE(db_->findPairByAnswer("MIXED", " " + value, &pair), DbStatus::NotFound);
        QCOMPARE(db_->findPairByQuestion("NOPE", value, &pair), DbStatus::NoSuchCategory);
        QStringList names;
        QCOMPARE(db_->listCategories(&names), DbStatus::Ok);
        QCOMPARE(names, QStringList{"MIXED"});
    }

    void changesExactlyTheFoundRow() {
        QCOMPARE(db_->createCategory("SAME"), DbStatus::Ok);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(db_->addPair("SAME", "Q", "A"), DbStatus::Ok);
        TriviaDatabase::Pair pair;
        QCOMPARE(db_->findPairByQuestion("SAME", "q", &pair), DbStatus::Ok);
        QCOMPARE(db_->updatePair(pair, "", "NEW"), DbStatus::Ok);
        RawConnection raw(path());
        QCOMPARE(raw.count("SELECT count(*) FROM SAME WHERE Questions = 'Q'"), 2);
        QCOMPARE(raw.count("SELECT count(*) FROM SAME WHERE Questions = '' AND Answers = 'NEW'"), 1);
        QCOMPARE(db_->deletePair(pair), DbStatus::Ok);
        QCOMPARE(raw.count("SELECT count(*) FROM SAME"), 2);
        QCOMPARE(db_->deletePair(pair), DbStatus::NotFound);
        QCOMPARE(db_->updatePair(pair, "X", "Y"), DbStatus::NotFound);
        QCOMPARE(raw.count("SELECT count(*) FROM SAME WHERE Questions = 'Q'"), 2);
    }

    void leavesForeignFilesUntouched_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<DbStatus>("status");
        QByteArray whole; // a real database, cut short below as a failed copy leaves it
        {
            QTemporaryDir other;
            {
                TriviaDatabase db(other.path());
                QCOMPARE(db.createCategory("BIG"), DbStatus::Ok);
                for (int i = 0; i < 200; ++i)
                    QCOMPARE(db.addPair("BIG", QString(200, QLatin1Char('Q')), QString::number(i)),
                             DbStatus::Ok);
            }
            whole = fileBytes(other.filePath(TriviaDatabase::fileName()));
        }
        QVERIFY(whole.size() > 8 * 4096);
        QTest::newRow("text") << QByteArray("Standard Jet DB\0not sqlite at all", 34).repeated(100)
                              << DbStatus::NotADatabase;
        QTest::newRow("short header") << QByteArray("SQLite for") << DbStatus::NotADatabase;
        QTest::newRow("header only") << QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\0')
                                     << DbStatus::NotADatabase;
        QTest::newRow("cut in the first page") << whole.left(3000) << DbStatus::NotADatabase;
        QTest::newRow("cut after two pages") << whole.left(2 * 4096) << DbStatus::NotADatabase;
        QTest::newRow("empty file") << QByteArray() << DbStatus::Ok;
    }
    void leavesForeignFilesUntouched() {
        QFETCH(QByteArray, bytes);
        QFETCH(DbStatus, status);
        db_.reset();
        writeFile(path(), bytes);
        TriviaDatabase db(dir_->path());
        QCOMPARE(db.open(), status);
        qint64 score = 0;
        QCOMPARE(db.scoreCorrectAnswer("BOB", &score), status);
        QCOMPARE(score, status == DbStatus::Ok ? 1 : 0);
        if (status == DbStatus::Ok)
            return; // an empty file becomes a database
        QVERIFY(db.errorText().contains("Trivia.mdb"));
        QCOMPARE(db.createCategory("ART"), status);
        QCOMPARE(fileBytes(path()), bytes);
    }

    void waitsForALockAndThenGivesLocked() {
        db_->setBusyTimeout(200);
        RawConnection other(path());
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        QVERIFY(other.exec("INSERT INTO Psystem VALUES ('HOLDER', 1)"));
        qint64 score = 0;
        QCOMPARE(db_->scoreCorrectAnswer("BOB", &score), DbStatus::Locked);
        QVERIFY(db_->errorText().contains("locked"));
        QCOMPARE(db_->createCategory("ART"), DbStatus::Locked);
        QCOMPARE(pointsOf(*db_, "HOLDER"), std::nullopt); // readers go on under WAL
        QVERIFY(other.exec("COMMIT"));
        QCOMPARE(scoreOf(*db_, "BOB"), 1);
    }

    void missingOrReadOnlyFolder() {
        TriviaDatabase missing(dir_->filePath("no/such/folder"));
        QCOMPARE(missing.open(), DbStatus::CannotOpen);
        QVERIFY(missing.errorText().contains("does not exist"));
        if (geteuid() == 0)
            QSKIP("permissions do not bind root");
        QCOMPARE(db_->createCategory("ART"), DbStatus::Ok);
        QCOMPARE(db_->addPair("ART", "Q", "A"), DbStatus::Ok);
        db_.reset();
        const QByteArray before = fileBytes(path());
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner);
        {
            TriviaDatabase db(dir_->path());
            QCOMPARE(db.open(), DbStatus::Ok);
            QVERIFY(db.isReadOnly());
            TriviaDatabase::Question question;
            QCOMPARE(db.pickQuestion("art", &question), DbStatus::Ok);
            qint64 score = 0;
            QCOMPARE(db.scoreCorrectAnswer("BOB", &score), DbStatus::ReadOnly);
            QCOMPARE(db.createCategory("MUSIC"), DbStatus::ReadOnly);
        }
        QCOMPARE(fileBytes(path()), before);
        QVERIFY(!QFile::exists(path() + "-wal"));
    }
};

QTEST_GUILESS_MAIN(TriviaDatabaseTest)
#include "tst_triviadatabase.moc"
