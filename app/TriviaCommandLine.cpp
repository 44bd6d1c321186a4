#include "app/TriviaCommandLine.h"

#include "app/AppLog.h"
#include "data/DataFolder.h"

#include <QCommandLineParser>

namespace palvuro {
namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption folder{
        QStringLiteral("folder"),
        QStringLiteral("Keep Trivia.mdb and Users List.txt in <dir>, created when missing."),
        QStringLiteral("dir")};
    QCommandLineOption connect{
        QStringLiteral("connect"),
        QStringLiteral("Once the window is up, type <nick> into \"Enter Nick:\" and press Connect. Until a "
                       "\"Palvuro 2.0\" window with a room is there, try again every 2 s; when the chat "
                       "client ends, connect to its next window by itself."),
        QStringLiteral("nick")};

    QCommandLineOption database{
        QStringLiteral("database"),
        QStringLiteral(
            "Keep the questions and scores in the PostgreSQL database <url> "
            "(postgresql://[USER@]HOST[:PORT]/DBNAME, or postgresql:///DBNAME?host=/socket/folder) "
            "instead of Trivia.mdb, shared with every bot given the same one. The password comes "
            "from ~/.pgpass, PGPASSFILE or a service file. Users List.txt stays in the folder."),
        QStringLiteral("url")};

    Parser() { parser.addOptions({folder, database, connect}); }
    bool parse(const QStringList& arguments) { return parser.parse(arguments); }
};

QString description(const QString& programFolder) {
    return QStringLiteral("A trivia host for the chat room of palvuro-chat.\n\n"
                          "The questions (Trivia.mdb) and the authorized users (Users List.txt) are kept "
                          "beside the program when it may write there and is not installed, otherwise in "
                          "the per-user data folder (%1). Without --folder this run uses %2.")
        .arg(DataFolder::userData(), DataFolder::describe(DataFolder::choose(programFolder)));
}

TriviaCommandLine::Result fail(const QString& why, const QString& usage) {
    TriviaCommandLine::Result result;
    result.exitCode = TriviaCommandLine::ExitUsage;
    result.err = QStringLiteral("palvuro-trivia: ") + why + QLatin1Char('\n') + usage;
    return result;
}

} // namespace

TriviaCommandLine::Result TriviaCommandLine::read(const QStringList& arguments,
                                                  const QString& programFolder) {
    Parser p;
    const QString usage = QStringLiteral("Try 'palvuro-trivia --help'.\n");
    if (!p.parse(arguments))
        return fail(p.parser.errorText(), usage);
    if (!p.parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(p.parser.positionalArguments().first()),
                    usage);
    Result result;
    if (p.parser.isSet(p.help)) {
        p.parser.setApplicationDescription(description(programFolder));
        result.out = p.parser.helpText();
        return result;
    }
    if (p.parser.isSet(p.version)) {
        result.out = QStringLiteral("palvuro-trivia %1\n").arg(QStringLiteral(PALVURO_VERSION));
        return result;
    }
    const QString connectNick = p.parser.value(p.connect);
    if (p.parser.isSet(p.connect) && connectNick.isEmpty())
        return fail(QStringLiteral("--connect needs a nick"), usage);
    QString error;
    if (p.parser.isSet(p.database)) {
        result.server = ServerAddress::parse(p.parser.value(p.database), &error);
        if (!result.server)
            return fail(error, usage);
    }
    const DataFolder::Choice choice = DataFolder::choose(programFolder, p.parser.value(p.folder));
    if (!DataFolder::prepare(choice.path, &error))
        return fail(error, QString());
    if (result.server)
        qCInfo(lcApp).noquote() << "the questions and scores are kept in" << result.server->shown()
                                << "and Users List.txt in" << DataFolder::describe(choice);
    else
        qCInfo(lcApp).noquote() << "Trivia.mdb and Users List.txt are kept in"
                                << DataFolder::describe(choice);
    result.run = true;
    result.folder = choice.path;
    result.connectNick = connectNick;
    return result;
}

bool TriviaCommandLine::onlyPrints(const QStringList& arguments) {
    Parser p;
    p.parse(arguments);
    return p.parser.isSet(p.help) || p.parser.isSet(p.version);
}

} // namespace palvuro
