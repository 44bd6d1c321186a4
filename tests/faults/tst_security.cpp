// The desktop bus refuses other users; a chat line never makes the bot open a file other than its
// own two, and nothing a chatter types ever becomes part of an SQL statement's text.
#include "platform/BusFrame.h"
#include "tests/platform/BusServerThread.h"
#include "tests/support/BotDriver.h"

#include <QLocalSocket>
#include <QtTest>

#include <dlfcn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace palvuro;

namespace {

const char kMarker[] = "/palvuro-hostile-session-starts";

// Lines that try to name files and statements, from nicks that are statements themselves; each
// names something the checks look for. (A category read as a table: "ZQXART" below.)
void playHostileSession(BotDriver& bot) {
    for (const char* text : {"!START ../../etc/passwd", "!START /tmp/x", "!START HISTORY;ATTACH'/tmp/x'AS",
                             "!GETUSERSCORE \"; DROP TABLE Psystem; -- ", "!GETUSERSCORE ../../etc/shadow ",
                             "!TOP", "!CATEGORIES"})
        bot.say("Anna", QString::fromLatin1(text));
    for (const char* nick : {"/etc/passwd", "x'); DROP TABLE Psystem;--"})
        bot.say(QString::fromLatin1(nick), "!MYSCORE");
    // Marked text, to be looked for in the statements.
    for (const char* text : {"!GETUSERSCORE ZQX' OR 1=1 -- ", "!START ZQXART", "!MYSCORE"})
        bot.say("zqx'\"nick", QString::fromLatin1(text));
    bot.startGame();
    bot.say("zqx'); DELETE FROM Psystem;--", bot.bot.session().answer());
    bot.say("Anna", "!QUIT");
}

// Connects to a bus socket and asks whether a window exists: 0 answered, 1 refused.
int runConnectProbe(const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(2000))
        return 1;
    socket.write(BusFrame::encode(BusFrame::Request{}));
    return socket.waitForReadyRead(2000) ? 0 : 1;
}

// The first strace line after the session's marker in which the session opens, makes, changes
// or removes a file other than the bot's own two (with the database's companion files) or the
// system's, or names anything the hostile lines named. *calls counts the calls.
QString firstForeignFile(const QByteArray& traceText, const QString& program, int* calls) {
    // "PID call(" then an optional directory descriptor, then the first quoted path.
    static const QRegularExpression call(
        "^\\d+\\s+(\\w+)\\((?:AT_FDCWD, |\\d+, )?\"((?:[^\"\\\\]|\\\\.)*)\"");
    static const QRegularExpression touching(
        QStringLiteral("^(open|openat2?|creat|(un)?link(at)?|rename(at|at2)?|mkdir(at)?|rmdir|truncate|f?"
                       "chmod(at)?|symlink(at)?)$"));
    static const QRegularExpression named("passwd|shadow|/tmp/x");
    static const QRegularExpression system("^/(usr|proc|sys|dev)/");
    const QString db = program + '/' + TriviaDatabase::fileName();
    const QStringList own = {
        program, db, db + "-wal", db + "-shm", db + "-journal", program + '/' + UsersList::fileName()};
    const qsizetype start = traceText.indexOf(kMarker);
    if (start < 0)
        return "the trace has no session marker";
    for (const QByteArray& line : traceText.mid(start).split('\n').mid(1)) {
        const QString text = QString::fromUtf8(line);
        const QRegularExpressionMatch match = call.match(text);
        if (!match.hasMatch())
            continue;
        ++*calls;
        const QString path = QDir::cleanPath(match.captured(2));
        if (text.contains(named) || (touching.match(match.captured(1)).hasMatch() && path.startsWith('/') &&
                                     !own.contains(path) && !path.contains(system)))
            return text;
    }
    return {};
}

// Every statement text SQLite prepares in this process once installed. SQLite is reached
// through the library Qt's driver loaded, not linked: it must be that very instance.
QStringList statements;
QString installStatementLog() {
    using Trace = int (*)(sqlite3*, unsigned, int (*)(unsigned, void*, void*, void*), void*);
    static Trace trace = nullptr;
    void* library = dlopen("libsqlite3.so.0", RTLD_NOW);
    auto autoExtension =
        library ? reinterpret_cast<int (*)(void (*)())>(dlsym(library, "sqlite3_auto_extension")) : nullptr;
    trace = library ? reinterpret_cast<Trace>(dlsym(library, "sqlite3_trace_v2")) : nullptr;
    if (!autoExtension || !trace)
        return "libsqlite3.so.0 with a statement trace cannot be loaded";
    using OnOpen = int (*)(sqlite3*, const char**, const void*);
    const OnOpen onOpen = [](sqlite3* db, const char**, const void*) {
        return trace(
            db, SQLITE_TRACE_STMT,
            [](unsigned, void*, void*, void* text) {
                statements << QString::fromUtf8(static_cast<const char*>(text));
                return 0;
            },
            nullptr);
    };
    autoExtension(reinterpret_cast<void (*)()>(onOpen));
    return {};
}

// Runs this program, or another, as the user nobody: its exit code, or -1 when it did not run.
int runAsNobody(const QStringList& command, const QString& runtime) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("HOME", "/nonexistent");
    process.setProcessEnvironment(env);
    process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command);
    const bool ran = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    return ran ? process.exitCode() : -1;
}

} // namespace

class TstSecurity : public QObject {
    Q_OBJECT
    const QString self_ = QCoreApplication::applicationFilePath();

private Q_SLOTS:
    void busRefusesOtherUsers() {
        if (geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("switching to another user needs root and setpriv");
        QTemporaryDir runtime;
        if (runAsNobody({self_, "--connect-probe", "/nonexistent"}, runtime.path()) != 1)
            QSKIP("the build folder cannot be read by another user");
        // Only the bus folder itself stands between another user and the sockets.
        QVERIFY(::chmod(QFile::encodeName(runtime.path()).constData(), 0755) == 0);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        BusServerThread server;
        QVERIFY(server.start());
        const QString socket = server.socketPath();
        const QStringList probe = {self_, "--connect-probe", socket};
        QCOMPARE(runAsNobody(probe, runtime.path()), 1);
        // Even with the folder and socket opened to everyone by mistake, the server refuses.
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(socket).path()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(socket).constData(), 0777) == 0);
        QCOMPARE(runAsNobody(probe, runtime.path()), 1);
        QCOMPARE(runConnectProbe(socket), 0); // the probe works: this user is answered
    }

    // The session runs in a child process under strace; every file it names is checked.
    void chatLinesTouchNoOtherFile() {
        const QString strace = QStandardPaths::findExecutable("strace");
        if (strace.isEmpty())
            QSKIP("strace is missing");
        QTemporaryDir work;
        const QString program = work.filePath("program");
        const QString trace = work.filePath("trace.txt");
        QVERIFY(QDir().mkpath(program) && BotDriver::prepareFolder(program));
        // LeakSanitizer cannot run under a tracer (sanitized builds).
        qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":detect_leaks=0");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(strace,
                    {"-f", "-qq", "-e", "trace=%file", "-o", trace, self_, "--hostile-session", program});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);

        QFile log(trace);
        QVERIFY(log.open(QIODevice::ReadOnly));
        int calls = 0;
        const QString foreign = firstForeignFile(log.readAll(), program, &calls);
        QVERIFY2(foreign.isEmpty(), qPrintable(foreign));
        QVERIFY2(calls > 10, "the trace does not show the session");
    }

    void noChatterTextInAnyStatement() {
        const QString cannot = installStatementLog();
        if (!cannot.isEmpty())
            QSKIP(qPrintable(cannot));
        QTemporaryDir dir;
        QVERIFY(BotDriver::prepareFolder(dir.path()));
        BotDriver bot(dir.path());
        playHostileSession(bot);
        QVERIFY2(statements.filter("Psystem", Qt::CaseInsensitive).size() > 5,
                 "the trace saw no score statements");
        for (const QString& statement : std::as_const(statements)) {
            for (const char* typed : {"ZQX", "passwd", "/tmp/x", "1=1", "DROP TABLE", "DELETE"})
                QVERIFY2(!statement.contains(QLatin1String(typed), Qt::CaseInsensitive),
                         qPrintable(statement));
        }
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc >= 2 ? argv[1] : "";
    if (mode == "--hostile-session" && argc >= 3) {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        BotDriver bot(folder);
        TriviaDatabase(folder).open(); // Qt loads its SQLite driver on first use, before the session
        ::access(kMarker, F_OK);       // shows in the trace where the session begins
        playHostileSession(bot);
        return 0;
    }
    if (mode == "--connect-probe" && argc >= 3)
        return runConnectProbe(QString::fromLocal8Bit(argv[2]));
    TstSecurity test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_security.moc"
