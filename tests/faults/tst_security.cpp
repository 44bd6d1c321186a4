// What another user and what a chatter can reach. The desktop bus folder and its sockets refuse
// other users; a chat line never makes the bot open a file other than its own two, and nothing
// a chatter types ever becomes part of an SQL statement's text.
#include "platform/BusFrame.h"
#include "platform/BusWindowApi.h"
#include "tests/faults/BotBench.h"
#include "tests/faults/FaultSkip.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

using namespace palvuro;

namespace {

const char kMarker[] = "/palvuro-hostile-session-starts";

// Lines that try to name files, tables and statements.
const QList<QPair<QString, QString>> kHostileLines = {
    {"Anna", "!START ../../etc/passwd"},
    {"Anna", "!START /tmp/x"},
    {"Anna", "!START ..\\..\\Trivia"},
    {"Anna", "!START Trivia.mdb"},
    {"Anna", "!START Users List.txt"},
    {"Anna", "!START ../secret.txt"},
    {"Anna", "!START sqlite_master"},
    {"Anna", "!START Psystem"},
    {"Anna", "!START [HISTORY]"},
    {"Anna", "!START \"ART\""},
    {"Anna", "!START main.Psystem"},
    {"Anna", "!START HISTORY;ATTACH'/tmp/x'AS"},
    {"Bob", "!GETUSERSCORE ' OR 1=1 --"},
    {"Bob", "!GETUSERSCORE \"; DROP TABLE Psystem; -- "},
    {"Bob", "!GETUSERSCORE ../../etc/shadow "},
    {"/etc/passwd", "!MYSCORE"},
    {"x'); DROP TABLE Psystem;--", "!MYSCORE"},
    {"Bob", "!TOP"},
    {"Bob", "!CATEGORIES"},
};

void playHostileSession(BotBench& bench) {
    for (const auto& [nick, text] : kHostileLines)
        bench.say(nick, text);
    // A game, with answers and scores from nicks that are statements themselves.
    bench.startGame();
    bench.say(QStringLiteral("zqx'); DELETE FROM Psystem;--"), bench.state.currentAnswer);
    bench.say(QStringLiteral("Anna"), QStringLiteral("!QUIT"));
}

int runHostileSession(const QString& folder) {
    BotBench bench(folder);
    {
        // Qt loads its SQLite driver on first use: that happens before the session.
        TriviaDatabase warmUp(folder);
        warmUp.open();
    }
    ::access(kMarker, F_OK); // shows in a system-call trace where the session begins
    playHostileSession(bench);
    return 0;
}

// Connects to a bus socket and asks whether a window exists: 0 answered, 1 refused.
int runConnectProbe(const QString& socketPath, Hwnd window) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(2000))
        return 1;
    BusFrame::Request request;
    request.op = BusFrame::Op::Exists;
    request.handle = window;
    socket.write(BusFrame::encode(request));
    socket.waitForBytesWritten(2000);
    QByteArray buffer;
    QByteArray payload;
    while (socket.waitForReadyRead(2000)) {
        buffer += socket.readAll();
        if (BusFrame::takeFrame(buffer, payload) == BusFrame::Take::Frame)
            return 0;
    }
    return 1;
}

QStringList listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

// The first line of an strace log, after the session's marker, in which the session opens,
// makes, changes or removes a file other than the bot's own two (and the database's companion
// files) or the system's, or names anything the hostile lines named. *calls counts the calls
// judged.
QString firstForeignFile(const QByteArray& traceText, const QString& program, int* calls) {
    // "PID call(" then an optional directory descriptor, then the first quoted path.
    static const QRegularExpression call(
        QStringLiteral("^\\d+\\s+(\\w+)\\((?:AT_FDCWD, |\\d+, )?\"((?:[^\"\\\\]|\\\\.)*)\""));
    static const QStringList touching = {"open",     "openat", "openat2",  "creat",     "unlink",
                                         "unlinkat", "rename", "renameat", "renameat2", "mkdir",
                                         "mkdirat",  "rmdir",  "truncate", "chmod",     "fchmodat",
                                         "link",     "linkat", "symlink",  "symlinkat"};
    static const QStringList named = {"passwd", "shadow", "/tmp/x", "secret.txt"};
    const QStringList own = {TriviaDatabase::fileName(), TriviaDatabase::fileName() + "-wal",
                             TriviaDatabase::fileName() + "-shm", TriviaDatabase::fileName() + "-journal",
                             UsersList::fileName()};
    bool started = false;
    for (const QByteArray& raw : traceText.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.contains(QLatin1String(kMarker))) {
            started = true;
            continue;
        }
        const QRegularExpressionMatch match = call.match(line);
        if (!started || !match.hasMatch())
            continue;
        ++*calls;
        const QString path = QDir::cleanPath(match.captured(2));
        for (const QString& name : named) {
            if (line.contains(name))
                return line;
        }
        if (!touching.contains(match.captured(1)) || !path.startsWith(QLatin1Char('/')))
            continue;
        const bool ownFile = path == program ||
                             (QFileInfo(path).path() == program && own.contains(QFileInfo(path).fileName()));
        const bool system =
            path.startsWith(QLatin1String("/usr/")) || path.startsWith(QLatin1String("/proc/")) ||
            path.startsWith(QLatin1String("/sys/")) || path.startsWith(QLatin1String("/dev/"));
        if (!ownFile && !system)
            return line;
    }
    return started ? QString() : QStringLiteral("the trace has no session marker");
}

// Every statement text SQLite prepares in this process, from the moment it is installed.
class StatementLog {
public:
    static QString install() {
        void* library = dlopen("libsqlite3.so.0", RTLD_NOW);
        if (!library)
            return QStringLiteral("libsqlite3.so.0 cannot be loaded");
        autoExtension_ = reinterpret_cast<AutoExtension>(dlsym(library, "sqlite3_auto_extension"));
        trace_ = reinterpret_cast<Trace>(dlsym(library, "sqlite3_trace_v2"));
        if (!autoExtension_ || !trace_)
            return QStringLiteral("libsqlite3.so.0 has no statement trace");
        autoExtension_(reinterpret_cast<void (*)()>(&onOpen));
        return {};
    }
    static QStringList& statements() {
        static QStringList all;
        return all;
    }

private:
    using AutoExtension = int (*)(void (*)());
    using Trace = int (*)(sqlite3*, unsigned, int (*)(unsigned, void*, void*, void*), void*);

    static int onOpen(sqlite3* db, const char**, const void*) {
        trace_(db, SQLITE_TRACE_STMT, &onStatement, nullptr);
        return SQLITE_OK;
    }
    static int onStatement(unsigned, void*, void*, void* text) {
        statements() << QString::fromUtf8(static_cast<const char*>(text));
        return 0;
    }

    static inline AutoExtension autoExtension_ = nullptr;
    static inline Trace trace_ = nullptr;
};

} // namespace

class TstSecurity : public QObject {
    Q_OBJECT
private:
    QString binDir_ = qEnvironmentVariable("PALVURO_BIN_DIR");
    QString setpriv_ = QStandardPaths::findExecutable(QStringLiteral("setpriv"));

    QString cannotSwitchUser() const {
        if (geteuid() != 0)
            return QStringLiteral("switching to another user needs root");
        if (setpriv_.isEmpty())
            return QStringLiteral("setpriv is missing");
        if (!QFile::exists(binDir_ + QStringLiteral("/palvuro-chat")))
            return QStringLiteral("palvuro-chat is not built");
        QTemporaryDir runtime;
        if (runAsNobody(QCoreApplication::applicationFilePath(), {QStringLiteral("--can-run")},
                        runtime.path()) != 0)
            return QStringLiteral("the build folder cannot be read by another user");
        return {};
    }

    // Runs a program as the user nobody; its exit code, or -1 when it did not run.
    int runAsNobody(const QString& program, const QStringList& arguments, const QString& runtime,
                    QByteArray* output = nullptr) const {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(setpriv_, QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), program} +
                                    arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        if (output)
            *output = process.readAll();
        return process.exitCode();
    }

private Q_SLOTS:
    void busRefusesOtherUsers() {
        const QString cannot = cannotSwitchUser();
        if (!cannot.isEmpty())
            PALVURO_SKIP(cannot);
        QTemporaryDir runtime;
        // Only the bus folder itself stands between another user and the sockets.
        QVERIFY(::chmod(QFile::encodeName(runtime.path()).constData(), 0755) == 0);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QProcess chat;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        chat.setProcessEnvironment(env);
        chat.start(binDir_ + QStringLiteral("/palvuro-chat"), {"--nick", "Bot", "--script", "-"});
        QVERIFY(chat.waitForStarted());
        BusWindowApi api;
        Hwnd main = 0;
        QTRY_VERIFY_WITH_TIMEOUT((main = api.findWindow(nullptr, "Palvuro 2.0")) != 0, 20000);
        const QString folder = runtime.path() + QStringLiteral("/palvuro-desktop");
        const QString socket = folder + QLatin1Char('/') + QString::number(chat.processId());
        QVERIFY(QFile::exists(socket));

        QByteArray spyOutput;
        const int spy = runAsNobody(binDir_ + QStringLiteral("/palvuro-spy"), {QStringLiteral("list")},
                                    runtime.path(), &spyOutput);
        QVERIFY2(spy != 0 || !spyOutput.contains("Palvuro 2.0"), spyOutput.constData());
        const QStringList probe = {QStringLiteral("--connect-probe"), socket, QString::number(main)};
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(runAsNobody(self, probe, runtime.path()), 1);

        // Even with the folder and socket opened to everyone by mistake, the server refuses.
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(socket).constData(), 0777) == 0);
        QCOMPARE(runAsNobody(self, probe, runtime.path()), 1);
        // The probe itself works: as this user it is answered.
        QCOMPARE(runConnectProbe(socket, main), 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0700) == 0);
        chat.kill();
        chat.waitForFinished();
    }

    // The session runs in a child process; with strace at hand, every file it names after the
    // session begins is checked, otherwise the folders' listings are.
    void chatLinesTouchNoOtherFile() {
        QTemporaryDir work;
        const QString program = work.path() + QStringLiteral("/program");
        const QString temp = work.path() + QStringLiteral("/temp");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(temp));
        QVERIFY(BotBench::prepareFolder(program));
        QFile secret(work.path() + QStringLiteral("/secret.txt"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("secret") == 6);
        secret.close();
        const QStringList programBefore = listing(program);
        const QStringList workBefore = listing(work.path());
        const bool tmpXBefore = QFile::exists(QStringLiteral("/tmp/x"));

        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        const QString trace = work.path() + QStringLiteral("/trace.txt");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp);
        // LeakSanitizer cannot run under a tracer (sanitized builds).
        if (!strace.isEmpty())
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        const QStringList session = {QStringLiteral("--hostile-session"), program};
        if (strace.isEmpty())
            child.start(QCoreApplication::applicationFilePath(), session);
        else
            child.start(strace, QStringList{"-f", "-qq", "-e", "trace=%file", "-o", trace,
                                            QCoreApplication::applicationFilePath()} +
                                    session);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);

        QCOMPARE(listing(program), programBefore);
        QStringList workAfter = listing(work.path());
        workAfter.removeAll(QStringLiteral("trace.txt"));
        QCOMPARE(workAfter, workBefore);
        QCOMPARE(listing(temp), QStringList());
        QCOMPARE(QFile::exists(QStringLiteral("/tmp/x")), tmpXBefore);
        if (strace.isEmpty())
            PALVURO_SKIP(QStringLiteral("strace is missing: only the folders' listings were checked"));

        QFile log(trace);
        QVERIFY(log.open(QIODevice::ReadOnly));
        int calls = 0;
        const QString foreign = firstForeignFile(log.readAll(), program, &calls);
        QVERIFY2(foreign.isEmpty(), qPrintable(foreign));
        QVERIFY2(calls > 10, "the trace does not show the session");
    }

    void noChatterTextInAnyStatement() {
        const QString cannot = StatementLog::install();
        if (!cannot.isEmpty())
            PALVURO_SKIP(cannot);
        QTemporaryDir dir;
        QVERIFY(BotBench::prepareFolder(dir.path()));
        StatementLog::statements().clear();
        {
            BotBench bench(dir.path());
            playHostileSession(bench);
            for (const char* text : {"!GETUSERSCORE ZQX' OR 1=1 -- ", "!GETUSERSCORE zqxname ",
                                     "!START ZQXART", "!START ART ZQX", "!MYSCORE"})
                bench.say(QStringLiteral("zqx'\"nick"), QString::fromLatin1(text));
        }
        const QStringList& statements = StatementLog::statements();
        QVERIFY2(statements.filter(QStringLiteral("Psystem"), Qt::CaseInsensitive).size() > 5,
                 "the trace saw no score statements");
        for (const QString& statement : statements) {
            for (const char* typed : {"ZQX", "passwd", "/tmp/x", "1=1", "DROP TABLE", "DELETE"})
                QVERIFY2(!statement.contains(QLatin1String(typed), Qt::CaseInsensitive),
                         qPrintable(statement));
        }
    }
};

int main(int argc, char** argv) {
    if (argc >= 3 && qstrcmp(argv[1], "--hostile-session") == 0) {
        QCoreApplication app(argc, argv);
        return runHostileSession(QString::fromLocal8Bit(argv[2]));
    }
    if (argc >= 2 && qstrcmp(argv[1], "--can-run") == 0)
        return 0;
    if (argc >= 4 && qstrcmp(argv[1], "--connect-probe") == 0) {
        QCoreApplication app(argc, argv);
        return runConnectProbe(QString::fromLocal8Bit(argv[2]), Hwnd(QByteArray(argv[3]).toUInt()));
    }
    QCoreApplication app(argc, argv);
    TstSecurity test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_security.moc"
