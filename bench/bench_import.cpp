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

using namespace palvuro;

namespace {

double secondsSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

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

    QTemporaryDir dir;
    TriviaDatabase db(dir.path());
    QElapsedTimer timer;
    timer.start();
    const auto reader = ImportFormat::reader(ImportFormat::Kind::Tsv, *bytes, {});
    const QuestionImporter::Summary summary = QuestionImporter(db).import(*reader);
    const double importSeconds = secondsSince(timer);
    if (summary.outcome != QuestionImporter::Outcome::Done) {
        out << "bench_import: FAILED: " << summary.failure << "\n";
        return 1;
    }
    out << "bench_import: " << summary.text() << "\n";
    out << "figure: import_rows_per_s " << qint64(double(summary.recordsRead) / importSeconds) << " rows/s\n";

    QBuffer exported;
    exported.open(QIODevice::WriteOnly);
    timer.restart();
    const BankExporter::Result result = BankExporter(db).writeQuestions(exported);
    const double exportSeconds = secondsSince(timer);
    if (!result.ok) {
        out << "bench_import: FAILED: " << result.failure << "\n";
        return 1;
    }
    out << "bench_import: exported " << result.written << " rows\n";
    out << "figure: export_rows_per_s " << qint64(double(result.written) / exportSeconds) << " rows/s\n";
    return 0;
}
