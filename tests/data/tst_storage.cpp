#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <unistd.h>

using namespace palvuro;

Q_DECLARE_METATYPE(palvuro::DbStatus)
Q_DECLARE_METATYPE(palvuro::UsersList::Membership)

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

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

// What the program keeps on disk: the database Trivia.mdb, questions imported into it, the users file.
class StorageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TriviaDatabase> db_;
    QString path() const { return dir_->filePath(QStringLiteral("Trivia.mdb")); }
    // The bytes as the file in.tsv, for the importer.
    QString importFile(const QByteArray& bytes) {
        writeFile(dir_->filePath(QStringLiteral("in.tsv")), bytes);
        return dir_->filePath(QStringLiteral("in.tsv"));
    }

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

    void shippedDemoImportsCleanly() {
        const Run run = importInto(*db_, QStringLiteral(PALVURO_SOURCE_DIR "/demo/questions.tsv"));
        QCOMPARE(run.summary.outcome, QuestionImporter::Outcome::Done);
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors.value(0).reason));
        QVERIFY(run.summary.added.size() >= 3);
        QVERIFY(*std::min_element(run.summary.added.cbegin(), run.summary.added.cend()) >= 30);
        QStringList names;
        QCOMPARE(db_->listCategories(&names), DbStatus::Ok);
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
        const QByteArray text = "category\tquestion\tanswer\nSCIENCE\tWhich planet is red?\tMARS\n\n" + line +
                                "\r\nSCIENCE\tWhich gas do we breathe?\tOXYGEN\r\n";
        const Run run = importInto(*db_, importFile(text));
        QCOMPARE(run.summary.outcome, QuestionImporter::Outcome::Done);
        QCOMPARE(run.errors.size(), 1);
        QCOMPARE(run.errors[0].line, 4);
        QVERIFY2(run.errors[0].reason.contains(reason), qPrintable(run.errors[0].reason));
        QCOMPARE(run.summary.linesRead, 5);
        QCOMPARE(run.summary.text(),
                 QStringLiteral("Added 2 questions in 1 category (SCIENCE 2); 1 line skipped."));
        QCOMPARE(scoreOf(*db_, "ANNA"), 1); // the scores table is whole
    }

    void valuesStoredAsTheEditorStoresThem() {
        QCOMPARE(db_->createCategory(QStringLiteral("History")), DbStatus::Ok);
        const QByteArray longest =
            "FOOD\tWhat is the longest line?\t"; // padded to the most bytes a line may hold
        const QByteArray text =
            "\xef\xbb\xbf"
            "history\t  who said 'x'); DROP TABLE HISTORY;--?  \t \"; DELETE FROM Psystem \n"
            " food \tQu'est-ce que la crème brûlée?\tcrème brûlée\n" +
            longest + QByteArray(QuestionImporter::MaxLineBytes - longest.size() - 7, ' ') + "PADDING\r\n";
        const Run run = importInto(*db_, importFile(text));
        QVERIFY(run.errors.isEmpty());
        QCOMPARE(run.summary.text(),
                 QStringLiteral("Added 3 questions in 2 categories (FOOD 2, HISTORY 1); 0 lines skipped."));
        TriviaDatabase::Pair pair;
        QCOMPARE(db_->findPairByQuestion(QStringLiteral("HISTORY"),
                                         QStringLiteral("WHO SAID 'X'); DROP TABLE HISTORY;--?"), &pair),
                 DbStatus::Ok);
        QCOMPARE(pair.answer, QStringLiteral("\"; DELETE FROM PSYSTEM"));
        QCOMPARE(db_->findPairByAnswer(QStringLiteral("FOOD"), QStringLiteral("CRÈME BRÛLÉE"), &pair),
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
        db_.reset();
        QVERIFY(QFile::remove(path()));
        if (!input.isEmpty())
            importFile(input);
        QProcess process;
        process.setWorkingDirectory(dir_->path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {QStringLiteral("in.tsv")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), exitCode);
        const QString output = QString::fromUtf8(process.readAll());
        QVERIFY2(output.contains(message), qPrintable(output));
        QCOMPARE(QFile::exists(path()), !input.isEmpty()); // none is made for a file that is not there
    }

    void readsFields_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("records") << QByteArray("\"Amy\"\r\n\"Ben\"\r\n") << QStringList{"Amy", "Ben"};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("comma inside quotes") << QByteArray("\"Smith, J\"\r\n") << QStringList{"Smith, J"};
        QTest::newRow("unquoted") << QByteArray("alice, bob \r\ncarl") << QStringList{"alice", "bob", "carl"};
        QTest::newRow("blank line") << QByteArray("\"A\"\r\n\r\n\"B\"\r\n") << QStringList{"A", "", "B"};
        QTest::newRow("LF and CR alone") << QByteArray("\"A\"\n\"B\"\rC\n") << QStringList{"A", "B", "C"};
        QTest::newRow("text after quote") << QByteArray("\"A\" junk,\"B\"x\r\n") << QStringList{"A", "B"};
        QTest::newRow("unterminated quote")
            << QByteArray("\"A\"\r\n\"Bob\r\nCarl, Dee") << QStringList{"A", "Bob\r\nCarl, Dee"};
        QTest::newRow("NUL bytes") << QByteArray("\"A\0B\"\r\nC\0D\r\n", 12)
                                   << QStringList{QString("A") + QChar(0) + "B",
                                                  QString("C") + QChar(0) + "D"};
        QTest::newRow("Windows-1252")
            << QByteArray("\"\x80uro \xe9t\xe9 \"\r\n") << QStringList{QString::fromUtf8("€uro été ")};
    }
    void readsFields() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QCOMPARE(UsersList::parse(bytes), names);
    }

    void testsMembership_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<UsersList::Membership>("membership");
        QTest::newRow("any case") << QByteArray("\"Ann\"\r\n\"bOb\"\r\n") << "BOB"
                                  << UsersList::Membership::Authorized;
        QTest::newRow("trailing space")
            << QByteArray("\"Bob \"\r\n") << "BOB" << UsersList::Membership::NotListed;
        QTest::newRow("non-ASCII") << QByteArray("\"J\xf6rg\"\r\n") << QString::fromUtf8("JÖRG")
                                   << UsersList::Membership::Authorized;
        QTest::newRow("blank line, empty nick")
            << QByteArray("\r\n") << "" << UsersList::Membership::Authorized;
        QTest::newRow("blank line, nick") << QByteArray("\r\n") << "BOB" << UsersList::Membership::NotListed;
    }
    void testsMembership() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, nick);
        QFETCH(UsersList::Membership, membership);
        const UsersList list(dir_->path());
        writeFile(list.filePath(), bytes);
        QCOMPARE(list.isAuthorizedUser(nick), membership);
    }

    void missingFileIsUnreadableUntilLoadCreatesIt() {
        const UsersList list(dir_->path());
        QCOMPARE(list.isAuthorizedUser("BOB"), UsersList::Membership::FileUnreadable);
        QCOMPARE(list.load(), QStringList{});
        QVERIFY(QFile::exists(list.filePath()));
        QCOMPARE(list.isAuthorizedUser("BOB"), UsersList::Membership::NotListed);
    }

    void savesRecordsWithoutDeletedEntries() {
        const UsersList list(dir_->path());
        const QStringList entries{"Amy",      UsersList::deletedMarker(), "Ben",
                                  "Smith, J", "*****deleted*****",        QString::fromUtf8("€ é\r\n")};
        QVERIFY(list.save(entries));
        QCOMPARE(fileBytes(list.filePath()),
                 QByteArray(
                     "\"Amy\"\r\n\"Ben\"\r\n\"Smith, J\"\r\n\"*****deleted*****\"\r\n\"\x80 \xe9\r\n\"\r\n"));
        QCOMPARE(list.load(),
                 QStringList({"Amy", "Ben", "Smith, J", "*****deleted*****", QString::fromUtf8("€ é\r\n")}));
        QVERIFY(list.save({UsersList::deletedMarker()}));
        QCOMPARE(fileBytes(list.filePath()), QByteArray());
    }

    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("double quote") << "Bob \"the\" Builder"
                                      << "Bob \"the\" Builder";
        QTest::newRow("outside the code page") << QString::fromUtf8("東京") << QString::fromUtf8("東京");
        QTest::newRow("read-only folder") << "Ben"
                                          << "Users List.txt";
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(QString, name);
        QFETCH(QString, error);
        const UsersList list(dir_->path());
        QVERIFY(list.save({"Amy"}));
        if (name == "Ben" && geteuid() == 0)
            QSKIP("permissions do not bind root");
        if (name == "Ben")
            QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner);
        QString why;
        const bool saved = list.save({"Ben", name}, &why);
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved);
        QVERIFY2(why.contains(error), qPrintable(why));
        QCOMPARE(fileBytes(list.filePath()), QByteArray("\"Amy\"\r\n"));
    }
};

QTEST_GUILESS_MAIN(StorageTest)
#include "tst_storage.moc"
