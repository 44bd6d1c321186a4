// Time to import the real question bank into a new Trivia.mdb on disk, as palvuro-import does.

#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QString bank = QStringLiteral(PALVURO_SHARED_DIR "/data/questions.tsv");
    if (!QFileInfo::exists(bank)) {
        out << "bench_import: skipped, no question bank at " << bank << "\n";
        return 0;
    }
    QTemporaryDir dir;
    palvuro::TriviaDatabase db(dir.path());
    palvuro::QuestionImporter importer(db);
    QElapsedTimer timer;
    timer.start();
    const palvuro::QuestionImporter::Summary summary = importer.importFile(bank);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (summary.outcome != palvuro::QuestionImporter::Outcome::Done) {
        out << "bench_import: " << summary.failure << "\n";
        return 1;
    }
    out << "figure: import_bank_lines " << summary.linesRead << " lines\n";
    out << "figure: import_bank_pairs " << summary.pairsAdded() << " pairs\n";
    out << "figure: import_bank_time " << QString::number(seconds, 'f', 2) << " s\n";
    out << "figure: import_bank_rate " << QString::number(double(summary.pairsAdded()) / seconds, 'f', 0)
        << " pairs/s\n";
    return 0;
}
