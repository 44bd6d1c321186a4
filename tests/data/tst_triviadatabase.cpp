#include "data/TriviaDatabase.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace palvuro;

Q_DECLARE_METATYPE(palvuro::DbStatus)

namespace {

// A second connection to the file, beside the one under test, for setting up and inspecting
// tables the way another program would.
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
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool exec(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery query(QSqlDatabase::database(name_));
        query.prepare(sql);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec())
            qWarning() << sql << query.lastError().text();
        return query.isActive();
    }
    QVariant value(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery query(QSqlDatabase::database(name_));
        query.prepare(sql);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        return query.exec() && query.next() ? query.value(0) : QVariant();
    }

private:
    QString name_;
};

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TriviaDatabaseTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<TriviaDatabase> db_;
    QString path() const { return dir_.path() + QStringLiteral("/Trivia.mdb"); }

    void addCategory(const QString& name, const QList<QPair<QVariant, QVariant>>& rows) {
        QCOMPARE(db_->createCategory(name), DbStatus::Ok);
        RawConnection raw(path());
        for (const auto& row : rows)
            QVERIFY(raw.exec(QStringLiteral("INSERT INTO \"%1\" VALUES (?, ?)").arg(name),
                             {row.first, row.second}));
    }

private Q_SLOTS:
    void init() {
        QVERIFY(dir_.isValid());
        QFile::remove(path());
        db_ = std::make_unique<TriviaDatabase>(dir_.path());
        QCOMPARE(db_->open(), DbStatus::Ok);
    }
    void cleanup() {
        db_.reset();
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(path() + QLatin1String(suffix));
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
        QTest::newRow("upper-cased") << "History" << DbStatus::Ok;
        QTest::newRow("spaces trimmed") << "  Movies " << DbStatus::Ok;
        QTest::newRow("underscore first") << "_x1" << DbStatus::Ok;
        QTest::newRow("blank inside") << "World Capitals" << DbStatus::InvalidName;
        QTest::newRow("empty") << "" << DbStatus::InvalidName;
        QTest::newRow("spaces only") << "   " << DbStatus::InvalidName;
        QTest::newRow("reserved word") << "select" << DbStatus::InvalidName;
        QTest::newRow("punctuation") << "Q&A" << DbStatus::InvalidName;
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
        qint64 score = 0;
        QCOMPARE(db_->scoreCorrectAnswer("ANNA", &score), DbStatus::Ok);
        QCOMPARE(db_->createCategory(typed), status);
        QStringList names;
        QCOMPARE(db_->listCategories(&names), DbStatus::Ok);
        const QString expected = typed.trimmed().toUpper();
        QCOMPARE(names, status == DbStatus::Ok ? QStringList({"ART", expected}) : QStringList({"ART"}));
        std::optional<qint64> points;
        QCOMPARE(db_->lookupScore("ANNA", &points), DbStatus::Ok);
        QCOMPARE(points, std::optional<qint64>(1));
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
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("kept");
        QTest::newRow("five rows") << 5 << QList<int>({1, 2, 3, 4, 5});
        QTest::newRow("mostly gaps") << 2000 << QList<int>({1, 700, 701, 1999});
        QTest::newRow("one row left at the end") << 500 << QList<int>({500});
    }
    void pickIsUniformAlsoOverGaps() {
        QFETCH(int, rows);
        QFETCH(QList<int>, kept);
        QCOMPARE(db_->createCategory("GAPS"), DbStatus::Ok);
        {
            RawConnection raw(path());
            raw.exec("BEGIN");
            for (int i = 1; i <= rows; ++i)
                raw.exec("INSERT INTO GAPS (rowid, Questions, Answers) VALUES (?, ?, ?)",
                         {i, QString::number(i), "A"});
            raw.exec("DELETE FROM GAPS WHERE rowid NOT IN (" +
                         QStringList(QList<QString>(kept.size(), "?")).join(',') + ")",
                     QVariantList(kept.begin(), kept.end()));
            raw.exec("COMMIT");
        }
        QHash<QString, int> counts;
        const int picks = 1000 * kept.size();
        TriviaDatabase::Question question;
        for (int i = 0; i < picks; ++i) {
            QCOMPARE(db_->pickQuestion("GAPS", &question), DbStatus::Ok);
            ++counts[question.question];
        }
        QCOMPARE(counts.size(), kept.size());
        double chiSquare = 0;
        for (int count : std::as_const(counts))
            chiSquare += (count - 1000.0) * (count - 1000.0) / 1000.0;
        QVERIFY2(chiSquare < 40, qPrintable(QString::number(chiSquare)));
    }

    void scoresCountUpAndLast() {
        qint64 score = 0;
        QCOMPARE(db_->scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
        QCOMPARE(score, 1);
        QCOMPARE(db_->scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
        QCOMPARE(score, 2);
        const QString hostile = QString::fromUtf8("O'BRIEN\"; DROP TABLE Psystem; --ÄÖ");
        QCOMPARE(db_->scoreCorrectAnswer(hostile, &score), DbStatus::Ok);
        QCOMPARE(score, 1);
        db_.reset();
        TriviaDatabase other(dir_.path());
        std::optional<qint64> points;
        QCOMPARE(other.lookupScore("BOB", &points), DbStatus::Ok);
        QCOMPARE(points, std::optional<qint64>(2));
        QCOMPARE(other.lookupScore(hostile, &points), DbStatus::Ok);
        QCOMPARE(points, std::optional<qint64>(1));
        QCOMPARE(other.lookupScore("NOBODY", &points), DbStatus::Ok);
        QCOMPARE(points, std::nullopt);
        QCOMPARE(other.setScore("BOB", 2147483647), DbStatus::Ok);
        QCOMPARE(other.setScore("NOBODY", 5), DbStatus::Ok);
        QCOMPARE(other.lookupScore("NOBODY", &points), DbStatus::Ok);
        QCOMPARE(points, std::nullopt);
        QCOMPARE(other.scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
        QCOMPARE(score, 2147483648LL);
        QCOMPARE(other.deleteAllScores(), DbStatus::Ok);
        QCOMPARE(other.scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
        QCOMPARE(score, 1);
    }

    void topListHasAtMostTenHighestFirst_data() {
        QTest::addColumn<int>("players");
        QTest::newRow("none") << 0;
        QTest::newRow("three") << 3;
        QTest::newRow("twelve") << 12;
    }
    void topListHasAtMostTenHighestFirst() {
        QFETCH(int, players);
        for (int i = 0; i < players; ++i)
            QCOMPARE(db_->setScore("X", 0), DbStatus::Ok); // no row: nothing changes
        RawConnection raw(path());
        for (int i = 0; i < players; ++i)
            raw.exec("INSERT INTO Psystem VALUES (?, ?)", {QString("P%1").arg(i), i * 7 % 12});
        QList<TriviaDatabase::Score> top;
        QCOMPARE(db_->topScores(&top), DbStatus::Ok);
        QCOMPARE(top.size(), std::min(players, 10));
        for (int i = 1; i < top.size(); ++i)
            QVERIFY(top[i - 1].points >= top[i].points);
        if (players == 12)
            QCOMPARE(top.last().points, 2);
    }

    void findsPairsHoldingHostileText_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("quotes") << "IT'S \"QUOTED\"";
        QTest::newRow("brackets") << "ART]; DROP TABLE [PSYSTEM";
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
        QCOMPARE(raw.value("SELECT count(*) FROM SAME WHERE Questions = 'Q'").toInt(), 2);
        QCOMPARE(raw.value("SELECT count(*) FROM SAME WHERE Questions = '' AND Answers = 'NEW'").toInt(), 1);
        QCOMPARE(db_->deletePair(pair), DbStatus::Ok);
        QCOMPARE(raw.value("SELECT count(*) FROM SAME").toInt(), 2);
        QCOMPARE(db_->deletePair(pair), DbStatus::NotFound);
        QCOMPARE(db_->updatePair(pair, "X", "Y"), DbStatus::NotFound);
        QCOMPARE(raw.value("SELECT count(*) FROM SAME WHERE Questions = 'Q'").toInt(), 2);
    }

    void leavesForeignFilesUntouched_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("Standard Jet DB\0not sqlite at all", 34).repeated(100);
        QTest::newRow("short header") << QByteArray("SQLite for");
        QTest::newRow("header only") << QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\0');
    }
    void leavesForeignFilesUntouched() {
        QFETCH(QByteArray, bytes);
        db_.reset();
        writeFile(path(), bytes);
        TriviaDatabase db(dir_.path());
        QCOMPARE(db.open(), DbStatus::NotADatabase);
        QVERIFY(db.errorText().contains("Trivia.mdb"));
        qint64 score = 0;
        QCOMPARE(db.scoreCorrectAnswer("BOB", &score), DbStatus::NotADatabase);
        QCOMPARE(db.createCategory("ART"), DbStatus::NotADatabase);
        QCOMPARE(fileBytes(path()), bytes);
    }

    void leavesTruncatedDatabaseUntouched() {
        QCOMPARE(db_->createCategory("BIG"), DbStatus::Ok);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(db_->addPair("BIG", QString(200, QLatin1Char('Q')), QString::number(i)), DbStatus::Ok);
        db_.reset();
        const QByteArray whole = fileBytes(path());
        QVERIFY(whole.size() > 8 * 4096);
        for (qsizetype size : {qsizetype(3000), qsizetype(2 * 4096)}) {
            writeFile(path(), whole.left(size));
            TriviaDatabase db(dir_.path());
            QCOMPARE(db.open(), DbStatus::NotADatabase);
            QCOMPARE(fileBytes(path()), whole.left(size));
        }
    }

    void emptyFileBecomesADatabase() {
        db_.reset();
        writeFile(path(), {});
        TriviaDatabase db(dir_.path());
        qint64 score = 0;
        QCOMPARE(db.scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
        QCOMPARE(score, 1);
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
        std::optional<qint64> points;
        QCOMPARE(db_->lookupScore("HOLDER", &points), DbStatus::Ok); // readers go on under WAL
        QCOMPARE(points, std::nullopt);
        QVERIFY(other.exec("COMMIT"));
        QCOMPARE(db_->scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
    }

    void lockedRollbackJournalFileCannotBeOpened() {
        db_.reset();
        QFile::remove(path());
        RawConnection other(path());
        QVERIFY(other.exec("PRAGMA journal_mode = DELETE"));
        QVERIFY(other.exec("CREATE TABLE ART (Questions, Answers)"));
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        QVERIFY(other.exec("INSERT INTO ART VALUES ('Q', 'A')"));
        TriviaDatabase db(dir_.path());
        db.setBusyTimeout(200);
        QCOMPARE(db.open(), DbStatus::Locked);
        QVERIFY(other.exec("COMMIT"));
        QStringList names;
        QCOMPARE(db.listCategories(&names), DbStatus::Ok);
        QCOMPARE(names, QStringList{"ART"});
    }

    void missingOrReadOnlyFolder() {
        TriviaDatabase missing(dir_.path() + "/no/such/folder");
        QCOMPARE(missing.open(), DbStatus::CannotOpen);
        QVERIFY(missing.errorText().contains("does not exist"));
        if (geteuid() == 0)
            QSKIP("permissions do not bind root");
        QCOMPARE(db_->createCategory("ART"), DbStatus::Ok);
        QCOMPARE(db_->addPair("ART", "Q", "A"), DbStatus::Ok);
        db_.reset();
        const QByteArray before = fileBytes(path());
        QTemporaryDir empty;
        QFile::setPermissions(empty.path(), QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(TriviaDatabase(empty.path()).open(), DbStatus::ReadOnly);
        QFile::setPermissions(empty.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner);
        {
            TriviaDatabase db(dir_.path());
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

    void picksFromTheRealQuestionBank() {
        QFile bank(PALVURO_SHARED_DIR "/data/questions.tsv");
        if (!bank.open(QIODevice::ReadOnly | QIODevice::Text))
            QSKIP("the question bank is absent");
        QCOMPARE(db_->createCategory("SPORTS"), DbStatus::Ok);
        RawConnection raw(path());
        raw.exec("BEGIN");
        int rows = 0;
        while (!bank.atEnd()) {
            const QStringList fields = QString::fromUtf8(bank.readLine()).chopped(1).split('\t');
            if (fields.size() == 3 && fields[0] == "SPORTS" && ++rows)
                raw.exec("INSERT INTO SPORTS VALUES (?, ?)", {fields[1], fields[2]});
        }
        raw.exec("COMMIT");
        QVERIFY(rows > 1000);
        QSet<QString> seen;
        TriviaDatabase::Question question;
        for (int i = 0; i < 2000; ++i) {
            QCOMPARE(db_->pickQuestion("sports", &question), DbStatus::Ok);
            QVERIFY(!question.answer.isEmpty());
            QCOMPARE(question.answer, question.answer.toUpper());
            seen.insert(question.question);
        }
        QVERIFY(seen.size() > 1000); // about 1,400 different ones are expected
    }
};

QTEST_GUILESS_MAIN(TriviaDatabaseTest)
#include "tst_triviadatabase.moc"
