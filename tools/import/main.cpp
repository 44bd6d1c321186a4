// palvuro-import [options] FILE [FOLDER]: adds the question/answer pairs of FILE (our
// tab-separated form, a saved Open Trivia Database response, CSV, or question*answer lines)
// to Trivia.mdb in FOLDER (by default the bot's own data folder), creating missing categories.
// --scores restores scores written by palvuro-export.
// Exit status: 0 everything added, 1 some records refused, 2 the file or the database failed
// (and bad usage).

#include "ProgressBar.h"

#include "data/DataFolder.h"
#include "data/ImportFormat.h"
#include "data/QuestionImporter.h"
#include "data/ScoreImporter.h"
#include "data/ServerAddress.h"
#include "data/TextFile.h"
#include "data/TriviaDatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>
#include <optional>

using namespace palvuro;

namespace {

constexpr int ExitAllAdded = 0;
constexpr int ExitRefused = 1;
constexpr int ExitFailed = 2;

struct Paths {
    QString questions; // empty when only scores are restored
    QString folder;
};

class ImportTool {
public:
    ImportTool() : out_(stdout), err_(stderr) {}

    int run(const QCoreApplication& app);

private:
    void describe(QCommandLineParser& parser) const;
    std::optional<Paths> paths(const QCommandLineParser& parser);
    int importQuestions(const QCommandLineParser& parser, const Paths& paths, TriviaDatabase& db);
    int importScores(const QCommandLineParser& parser, TriviaDatabase& db);
    int usageError(const QString& what);
    int failure(const QString& what);

    QTextStream out_;
    QTextStream err_;
};

void ImportTool::describe(QCommandLineParser& parser) const {
    parser.setApplicationDescription(
        QStringLiteral(
            "Adds question/answer pairs to Trivia.mdb in FOLDER (when left out, the folder the bot\n"
            "beside this program uses: %1).\n"
            "FILE may be our tab-separated file (category, question, answer), a saved Open Trivia\n"
            "Database response (JSON), a CSV file, or question*answer lines; the format is told\n"
            "from the content. Exit status: 0 all added, 1 some records refused, 2 failure.")
            .arg(DataFolder::botDefault().path));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The question file."));
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder of Trivia.mdb."),
                                 QStringLiteral("[FOLDER]"));
    parser.addOptions({
        {QStringLiteral("format"), QStringLiteral("Read FILE as tsv, json, csv or star instead of guessing."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("category"),
         QStringLiteral(
             "Category of files that name none (star lines, two-column CSV); default: the file's name."),
         QStringLiteral("NAME")},
        {QStringLiteral("keep-choice-questions"),
         QStringLiteral("Also import multiple-choice (\"Which of these...\") and true/false questions.")},
        {QStringLiteral("keep-going"),
         QStringLiteral("Save category by category: a failure keeps the categories saved before it.")},
        {QStringLiteral("dry-run"), QStringLiteral("Report what would be imported; change nothing.")},
        {QStringLiteral("scores"), QStringLiteral("Restore scores from FILE (NICK<TAB>POINTS lines)."),
         QStringLiteral("FILE")},
        {QStringLiteral("replace-scores"), QStringLiteral("With --scores: the scores become the file's.")},
        {QStringLiteral("add-scores"),
         QStringLiteral("With --scores: add the file's points to the current ones.")},
        {QStringLiteral("folder"),
         QStringLiteral("The folder of Trivia.mdb, as palvuro-trivia --folder names it."),
         QStringLiteral("DIR")},
        {QStringLiteral("database"),
         QStringLiteral("Import into the PostgreSQL database URL (%1) instead of a folder.")
             .arg(ServerAddress::forms()),
         QStringLiteral("URL")},
    });
}

int ImportTool::usageError(const QString& what) {
    err_ << "palvuro-import: " << what << "\nTry 'palvuro-import --help'.\n";
    return ExitFailed;
}

int ImportTool::failure(const QString& what) {
    err_ << "palvuro-import: " << what << "\n";
    return ExitFailed;
}

// With --scores the question file may be left out: a lone argument that names a folder is
// then the folder.
std::optional<Paths> ImportTool::paths(const QCommandLineParser& parser) {
    const QStringList args = parser.positionalArguments();
    const bool scores = parser.isSet(QStringLiteral("scores"));
    if (args.size() > 2 || (args.isEmpty() && !scores))
        return std::nullopt;
    Paths paths{args.value(0), args.value(1)};
    if (scores && args.size() == 1 && QFileInfo(args[0]).isDir())
        paths = Paths{QString(), args[0]};
    if (parser.isSet(QStringLiteral("folder"))) {
        if (!paths.folder.isEmpty())
            return std::nullopt;
        paths.folder = parser.value(QStringLiteral("folder"));
    }
    return paths;
}

int ImportTool::run(const QCoreApplication& app) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out_ << parser.helpText();
        return ExitAllAdded;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out_ << app.applicationName() << " " << app.applicationVersion() << "\n";
        return ExitAllAdded;
    }
    std::optional<Paths> paths = this->paths(parser);
    if (!paths)
        return usageError(QStringLiteral("give one question file and at most one folder"));
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
    QString error;
    std::optional<ServerAddress> server;
    if (parser.isSet(QStringLiteral("database"))) {
        if (!paths->folder.isEmpty())
            return usageError(QStringLiteral("give a folder or --database, not both"));
        server = ServerAddress::parse(parser.value(QStringLiteral("database")), &error);
        if (!server)
            return usageError(error);
    }
    if (paths->folder.isEmpty() && !server) {
        // The bot makes its folder on its first start; an import may come before that.
        paths->folder = DataFolder::botDefault().path;
        if (!dryRun && !DataFolder::prepare(paths->folder, &error))
            return failure(error);
    }
    const bool replace = parser.isSet(QStringLiteral("replace-scores"));
    const bool add = parser.isSet(QStringLiteral("add-scores"));
    if (parser.isSet(QStringLiteral("scores")) && replace == add)
        return usageError(QStringLiteral("--scores needs one of --replace-scores and --add-scores"));
    if (!server && !QDir(paths->folder).exists())
        return failure(QStringLiteral("no folder %1").arg(paths->folder));

    // A dry run must not even create the database: with none there, a new one in a scratch
    // folder shows the same result.
    QTemporaryDir scratch;
    const bool noDatabase = !QFileInfo::exists(QDir(paths->folder).filePath(TriviaDatabase::fileName()));
    const auto db =
        server ? std::make_unique<TriviaDatabase>(*server)
               : std::make_unique<TriviaDatabase>(dryRun && noDatabase ? scratch.path() : paths->folder);
    db->setKeepLayout(dryRun);
    int status = ExitAllAdded;
    if (!paths->questions.isEmpty())
        status = importQuestions(parser, *paths, *db);
    if (status != ExitFailed && parser.isSet(QStringLiteral("scores")))
        status = std::max(status, importScores(parser, *db));
    return status;
}

int ImportTool::importQuestions(const QCommandLineParser& parser, const Paths& paths, TriviaDatabase& db) {
    QString error;
    const std::optional<QByteArray> bytes = TextFile::read(paths.questions, &error);
    if (!bytes)
        return failure(error);
    const QString formatName = parser.value(QStringLiteral("format"));
    std::optional<ImportFormat::Kind> format =
        formatName.isEmpty() ? ImportFormat::detect(*bytes) : ImportFormat::fromName(formatName);
    if (!format && !formatName.isEmpty())
        return usageError(QStringLiteral("unknown format \"%1\" (tsv, json, csv or star)").arg(formatName));
    if (!format)
        return failure(
            QStringLiteral("cannot tell the format of %1; name it with --format").arg(paths.questions));
    const QString category = parser.isSet(QStringLiteral("category"))
                                 ? parser.value(QStringLiteral("category"))
                                 : QFileInfo(paths.questions).completeBaseName();
    const std::unique_ptr<RecordReader> reader = ImportFormat::reader(*format, *bytes, category);

    QuestionImporter::Options options;
    options.keepChoiceQuestions = parser.isSet(QStringLiteral("keep-choice-questions"));
    options.keepGoing = parser.isSet(QStringLiteral("keep-going"));
    options.dryRun = parser.isSet(QStringLiteral("dry-run"));
    QuestionImporter importer(db, options);
    ProgressBar progress(stderr);
    importer.setErrorHandler([&](const QuestionImporter::RecordError& e) {
        progress.finish();
        err_ << paths.questions << ": " << e.unit << " " << e.number << ": " << e.reason << "\n";
        err_.flush();
    });
    importer.setProgressHandler([&progress](double done, qint64 rows) { progress.show(done, rows); });
    const QuestionImporter::Summary summary = importer.import(*reader);
    progress.finish();
    if (summary.outcome == QuestionImporter::Outcome::CannotReadFile)
        return failure(summary.failure);
    for (const QString& line : summary.categoryLines())
        out_ << line << "\n";
    out_ << summary.text() << "\n";
    out_.flush();
    if (summary.outcome != QuestionImporter::Outcome::Done)
        return failure(summary.failure);
    return summary.recordsRefused() == 0 ? ExitAllAdded : ExitRefused;
}

int ImportTool::importScores(const QCommandLineParser& parser, TriviaDatabase& db) {
    const QString path = parser.value(QStringLiteral("scores"));
    QString error;
    const std::optional<QByteArray> bytes = TextFile::read(path, &error);
    if (!bytes)
        return failure(error);
    const bool replace = parser.isSet(QStringLiteral("replace-scores"));
    ScoreImporter importer(db, replace ? ScoreImporter::Mode::Replace : ScoreImporter::Mode::Add,
                           parser.isSet(QStringLiteral("dry-run")));
    importer.setErrorHandler([&](qint64 line, const QString& reason) {
        err_ << path << ": line " << line << ": " << reason << "\n";
    });
    const ScoreImporter::Summary summary = importer.import(*bytes);
    err_.flush();
    if (!summary.ok)
        return failure(summary.failure);
    out_ << "Scores: " << summary.stored << (replace ? " restored" : " added") << "; " << summary.refused
         << " lines refused.\n";
    return summary.refused == 0 ? ExitAllAdded : ExitRefused;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("palvuro-import"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));
    ImportTool tool;
    return tool.run(app);
}
