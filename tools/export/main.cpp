// palvuro-export [FOLDER] --questions FILE --scores FILE: writes the question bank of
// Trivia.mdb in FOLDER (by default the bot's own data folder) in palvuro-import's tab-separated form,
// and the scores as NICK<TAB>POINTS lines.
// Exit status: 0 everything written, 1 some pairs or scores left out, 2 failure (and bad usage).

#include "data/BankExporter.h"
#include "data/DataFolder.h"
#include "data/ServerAddress.h"
#include "data/TriviaDatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <memory>

#include <functional>

using namespace palvuro;

namespace {

constexpr int ExitAllWritten = 0;
constexpr int ExitLeftOut = 1;
constexpr int ExitFailed = 2;

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString& what) {
    err() << "palvuro-export: " << what << "\n";
    return ExitFailed;
}

// The file appears only once it is written whole; a failure leaves any old one as it was.
int exportTo(const QString& path, const char* what,
             const std::function<BankExporter::Result(QIODevice&)>& write) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    const BankExporter::Result result = write(file);
    if (!result.ok)
        return fail(result.failure);
    if (!file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    QTextStream(stdout) << "Wrote " << result.written << " " << what << " to " << path << "; "
                        << result.skipped << " left out.\n";
    return result.skipped == 0 ? ExitAllWritten : ExitLeftOut;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("palvuro-export"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the question bank and the scores of Trivia.mdb in FOLDER (when left out, the\n"
                       "folder the bot beside this program uses: %1)\nto files palvuro-import reads back.")
            .arg(DataFolder::botDefault().path));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder of Trivia.mdb."),
                                 QStringLiteral("[FOLDER]"));
    parser.addOptions({
        {QStringLiteral("questions"), QStringLiteral("Write the questions to FILE."), QStringLiteral("FILE")},
        {QStringLiteral("scores"), QStringLiteral("Write the scores to FILE."), QStringLiteral("FILE")},
        {QStringLiteral("database"),
         QStringLiteral("Export the PostgreSQL database URL (%1) instead of a folder.")
             .arg(ServerAddress::forms()),
         QStringLiteral("URL")},
    });
    if (!parser.parse(app.arguments())) {
        err() << "palvuro-export: " << parser.errorText() << "\nTry 'palvuro-export --help'.\n";
        return ExitFailed;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        QTextStream(stdout) << (parser.isSet(QStringLiteral("help"))
                                    ? parser.helpText()
                                    : app.applicationName() + QLatin1Char(' ') + app.applicationVersion() +
                                          QLatin1Char('\n'));
        return ExitAllWritten;
    }
    const QStringList args = parser.positionalArguments();
    const QString questions = parser.value(QStringLiteral("questions"));
    const QString scores = parser.value(QStringLiteral("scores"));
    if (args.size() > 1 || (questions.isEmpty() && scores.isEmpty())) {
        err() << "palvuro-export: give --questions FILE, --scores FILE or both, and at most one folder\n"
                 "Try 'palvuro-export --help'.\n";
        return ExitFailed;
    }
    std::unique_ptr<TriviaDatabase> db;
    if (parser.isSet(QStringLiteral("database"))) {
        QString error;
        const auto server = ServerAddress::parse(parser.value(QStringLiteral("database")), &error);
        if (!server || !args.isEmpty()) {
            err() << "palvuro-export: "
                  << (server ? QStringLiteral("give a folder or --database, not both") : error)
                  << "\nTry 'palvuro-export --help'.\n";
            return ExitFailed;
        }
        db = std::make_unique<TriviaDatabase>(*server);
    } else {
        const QString folder = args.value(0, DataFolder::botDefault().path);
        if (!QFileInfo::exists(QDir(folder).filePath(TriviaDatabase::fileName())))
            return fail(QStringLiteral("no %1 in %2").arg(TriviaDatabase::fileName(), folder));
        db = std::make_unique<TriviaDatabase>(folder);
    }
    BankExporter exporter(*db);
    exporter.setSkipHandler(
        [](const QString& what) { err() << "palvuro-export: left out " << what << "\n"; });
    int status = ExitAllWritten;
    if (!questions.isEmpty())
        status =
            exportTo(questions, "questions", [&](QIODevice& out) { return exporter.writeQuestions(out); });
    if (status != ExitFailed && !scores.isEmpty())
        status = std::max(
            status, exportTo(scores, "scores", [&](QIODevice& out) { return exporter.writeScores(out); }));
    return status;
}
