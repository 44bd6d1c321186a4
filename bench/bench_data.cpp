// Speed of the data layer on a real file in a temporary folder: picking a question, scoring,
// the top list and a score lookup at the sizes a busy room reaches, and reading a large users
// file. Prints "figure: NAME VALUE UNIT" lines.

#include "bench/QuestionBank.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "platform/LetterCase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

using namespace palvuro;

namespace {

// Median duration of `runs` calls, in microseconds.
double medianMicros(int runs, const std::function<void()>& call) {
    std::vector<double> times;
    times.reserve(runs);
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        call();
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

void figure(const char* name, double value, const char* unit) {
    std::printf("figure: %s %.6g %s\n", name, value, unit);
}

// Bulk filling through one transaction of a second connection: the object under test commits
// (and syncs) every change on its own.
class Filler {
public:
    explicit Filler(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("filler"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery(db).exec(QStringLiteral("BEGIN"));
    }
    ~Filler() {
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("filler"));
            QSqlQuery(db).exec(QStringLiteral("COMMIT"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("filler"));
    }
    Filler(const Filler&) = delete;
    Filler& operator=(const Filler&) = delete;

    void insert(const QString& sql, const std::function<QVariantList(int)>& row, int count) {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("filler")));
        query.prepare(sql);
        for (int i = 0; i < count; ++i) {
            const QVariantList values = row(i);
            for (int v = 0; v < values.size(); ++v)
                query.bindValue(v, values.at(v));
            query.exec();
        }
    }
};

// Question/answer pairs of the bank, or synthetic ones without one. Says which it used.
std::optional<QList<QPair<QString, QString>>> samplePairs() {
    const QuestionBank bank = QuestionBank::choose();
    if (!bank.failure.isEmpty()) {
        std::fprintf(stderr, "bench_data: %s\n", qPrintable(bank.failure));
        return std::nullopt;
    }
    QList<QPair<QString, QString>> pairs;
    QFile file(bank.path);
    if (!bank.path.isEmpty() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        file.readLine();
        while (!file.atEnd() && pairs.size() < 60000) {
            const QStringList fields = QString::fromUtf8(file.readLine()).chopped(1).split(QLatin1Char('\t'));
            if (fields.size() == 3)
                pairs.append({LetterCase::upper(fields[1]), LetterCase::upper(fields[2])});
        }
        if (pairs.isEmpty()) {
            std::fprintf(stderr, "bench_data: no question pairs in %s\n", qPrintable(bank.path));
            return std::nullopt;
        }
        std::printf("# questions: %lld pairs of %s\n", static_cast<long long>(pairs.size()),
                    qPrintable(bank.path));
        return pairs;
    }
    for (int i = 0; i < 100; ++i)
        pairs.append({QStringLiteral("WHAT IS THE NAME OF SYNTHETIC QUESTION NUMBER %1?").arg(i),
                      QStringLiteral("ANSWER %1").arg(i)});
    std::printf("# questions: 100 synthetic pairs (no question bank; PALVURO_QUESTION_BANK names one)\n");
    return pairs;
}

void benchPicks(const QString& folder, const QList<QPair<QString, QString>>& pairs) {
    constexpr int kRows = 60000;
    TriviaDatabase db(folder);
    db.createCategory(QStringLiteral("BENCH"));
    {
        Filler filler(db.filePath());
        filler.insert(
            QStringLiteral("INSERT INTO BENCH VALUES (?, ?)"),
            [&](int i) {
                const auto& pair = pairs.at(i % pairs.size());
                return QVariantList{pair.first, pair.second};
            },
            kRows);
    }
    TriviaDatabase::Question question;
    const double pick = medianMicros(2001, [&] { db.pickQuestion(QStringLiteral("BENCH"), &question); });
    QSqlDatabase walker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("walker"));
    walker.setDatabaseName(db.filePath());
    walker.open();
    const double walk = medianMicros(21, [&] {
        QSqlQuery query(walker);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT Questions, Answers FROM BENCH"));
        for (int i = 0; i < kRows - 1 && query.next(); ++i)
            question.question = query.value(0).toString();
    });
    walker.close();
    walker = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("walker"));
    figure("pick_60k_us", pick, "us");
    figure("pick_vs_walk_ratio", pick / walk, "ratio");
}

void fillPlayers(const QString& path, int from, int to) {
    Filler filler(path);
    filler.insert(
        QStringLiteral("INSERT INTO Psystem VALUES (?, ?)"),
        [from](int i) {
            return QVariantList{QStringLiteral("PLAYER%1").arg(from + i), (from + i) * 7919LL % 100003};
        },
        to - from);
}

void benchScores(const QString& folder) {
    TriviaDatabase db(folder);
    db.open();
    fillPlayers(db.filePath(), 0, 100000);
    qint64 score = 0;
    int next = 0;
    figure("score_update_100k_us",
           medianMicros(201,
                        [&] {
                            db.scoreCorrectAnswer(QStringLiteral("PLAYER%1").arg((next += 4999) % 100000),
                                                  &score);
                        }),
           "us");
    fillPlayers(db.filePath(), 100000, 1000000);
    QList<TriviaDatabase::Score> top;
    figure("top10_1m_ms", medianMicros(101, [&] { db.topScores(&top); }) / 1000.0, "ms");
    std::optional<qint64> points;
    figure(
        "lookup_us",
        medianMicros(
            2001, [&] { db.lookupScore(QStringLiteral("PLAYER%1").arg((next += 4999) % 1000000), &points); }),
        "us");
}

void benchUsersFile() {
    QByteArray bytes;
    for (int i = 0; bytes.size() < 10 * 1024 * 1024; ++i)
        bytes += "\"User number " + QByteArray::number(i) + "\"\r\n";
    figure("users_parse_10mb_ms", medianMicros(5, [&] { UsersList::parse(bytes); }) / 1000.0, "ms");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir picks;
    QTemporaryDir scores;
    if (!picks.isValid() || !scores.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const auto pairs = samplePairs();
    if (!pairs)
        return 1;
    benchPicks(picks.path(), *pairs);
    benchScores(scores.path());
    benchUsersFile();
    return 0;
}
