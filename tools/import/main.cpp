// palvuro-import FILE [FOLDER]: adds the question/answer pairs of a tab-separated file to
// Trivia.mdb in FOLDER (the current folder by default), creating missing categories.
// Exit status: 0 everything added, 1 some lines skipped, 2 the file or the database failed.

#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace {

constexpr int ExitAllAdded = 0;
constexpr int ExitLinesSkipped = 1;
constexpr int ExitFailed = 2;

int usage(QTextStream& err) {
    err << "usage: palvuro-import FILE [FOLDER]\n"
           "Adds the lines \"category<TAB>question<TAB>answer\" of the UTF-8 file FILE to "
           "Trivia.mdb in FOLDER\n(the current folder when left out).\n";
    return ExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() > 2 || args.first().startsWith(QLatin1Char('-')))
        return usage(err);
    const QString file = args.first();
    const QString folder = args.size() == 2 ? args[1] : QDir::currentPath();
    if (!QDir(folder).exists()) {
        err << "palvuro-import: no folder " << folder << "\n";
        return ExitFailed;
    }

    palvuro::TriviaDatabase db(folder);
    palvuro::QuestionImporter importer(db);
    importer.setErrorHandler([&err, &file](const palvuro::QuestionImporter::LineError& error) {
        err << file << ":" << error.line << ": " << error.reason << "\n";
    });
    const palvuro::QuestionImporter::Summary summary = importer.importFile(file);
    err.flush();
    if (summary.outcome != palvuro::QuestionImporter::Outcome::Done) {
        err << "palvuro-import: " << summary.failure << "\n";
        if (summary.pairsAdded() > 0)
            out << summary.text() << "\n";
        return ExitFailed;
    }
    out << summary.text() << "\n";
    return summary.linesSkipped == 0 ? ExitAllAdded : ExitLinesSkipped;
}
