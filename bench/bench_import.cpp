// The shared question bank imported into a new Trivia.mdb on disk and exported again, as
// palvuro-import and palvuro-export do it.

#include "bench/QuestionBank.h"
#include "data/BankExporter.h"
#include "data/ImportFormat.h"
#include "data/QuestionImporter.h"
#include "data/TextFile.h"
#include "data/TriviaDatabase.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <vector>

using namespace palvuro;

namespace {

constexpr int kRuns = 5;

double secondsSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

// The median run: one slow run on a busy machine says nothing about the code.
double median(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

// Imports the bank into a new folder; the last run's database stays open for the export.
struct ImportRun {
    QTemporaryDir dir;
    std::unique_ptr<TriviaDatabase> db;
    QuestionImporter::Summary summary;
    double seconds = 0;

    explicit ImportRun(const QByteArray& bytes) : db(std::make_unique<TriviaDatabase>(dir.path())) {
        QElapsedTimer timer;
        timer.start();
        const auto reader = ImportFormat::reader(ImportFormat::Kind::Tsv, bytes, {});
        summary = QuestionImporter(*db).import(*reader);
        seconds = secondsSince(timer);
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QuestionBank bank = QuestionBank::choose();
    if (bank.path.isEmpty()) {
        out << "bench_import: FAILED: no question bank: "
            << (bank.failure.isEmpty() ? QStringLiteral("the shared bank is missing") : bank.failure) << "\n";
        return 1;
    }
    QString error;
    const std::optional<QByteArray> bytes = TextFile::read(bank.path, &error);
    if (!bytes) {
        out << "bench_import: FAILED: " << error << "\n";
        return 1;
    }
    out << "bench_import: data " << bank.path << " (" << bytes->size() << " bytes)\n";

    std::unique_ptr<ImportRun> run;
    std::vector<double> importSeconds;
    for (int i = 0; i < kRuns; ++i) {
        run = std::make_unique<ImportRun>(*bytes);
        if (run->summary.outcome != QuestionImporter::Outcome::Done) {
            out << "bench_import: FAILED: " << run->summary.failure << "\n";
            return 1;
        }
        importSeconds.push_back(run->seconds);
    }
    out << "bench_import: " << run->summary.text() << " (median of " << kRuns << " runs)\n";
    out << "figure: import_rows_per_s " << qint64(double(run->summary.recordsRead) / median(importSeconds))
        << " rows/s\n";

    std::vector<double> exportSeconds;
    BankExporter::Result result;
    for (int i = 0; i < kRuns; ++i) {
        QBuffer exported;
        exported.open(QIODevice::WriteOnly);
        QElapsedTimer timer;
        timer.start();
        result = BankExporter(*run->db).writeQuestions(exported);
        exportSeconds.push_back(secondsSince(timer));
        if (!result.ok) {
            out << "bench_import: FAILED: " << result.failure << "\n";
            return 1;
        }
    }
    out << "bench_import: exported " << result.written << " rows\n";
    out << "figure: export_rows_per_s " << qint64(double(result.written) / median(exportSeconds))
        << " rows/s\n";
    return 0;
}
