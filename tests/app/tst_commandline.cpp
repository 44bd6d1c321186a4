#include "app/TriviaCommandLine.h"
#include "data/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace palvuro;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private:
    QTemporaryDir root_;
    QString path(const QString& name) const { return root_.filePath(name); }
    QString userData() const { return path(QStringLiteral("xdg-data/palvuro-trivia")); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(root_.isValid());
        qputenv("XDG_DATA_HOME", path(QStringLiteral("xdg-data")).toLocal8Bit());
        touch(path(QStringLiteral("a-file")));
        QDir().mkpath(path(QStringLiteral("copied")));
        QDir().mkpath(path(QStringLiteral("usr/bin")));
        touch(path(QStringLiteral("usr/share/applications/org.palvuro.Trivia.desktop")));
    }
    void init() { QDir(path(QStringLiteral("xdg-data"))).removeRecursively(); }

    // Where the data goes for each kind of program folder and --folder; the per-user folder is
    // made only when it is the one chosen.
    void folderRules_data() {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expected"); // "user" for the per-user data folder
        QTest::newRow("writable program folder") << "copied" << QStringList{} << "copied";
        // A folder under a file cannot be written even by root, who ignores permission bits.
        QTest::newRow("unwritable program folder") << "a-file/bin" << QStringList{} << "user";
        QTest::newRow("read-only program folder") << "read-only" << QStringList{} << "user";
        // Root could write into /usr/bin; an installed program must not.
        QTest::newRow("installed program") << "usr/bin" << QStringList{} << "user";
        QTest::newRow("--folder over the program folder")
            << "copied" << QStringList{"--folder", path("rooms/second")} << "rooms/second";
        QTest::newRow("--folder for an installed program")
            << "usr/bin" << QStringList{"--folder=" + path("rooms/third")} << "rooms/third";
    }
    void folderRules() {
        QFETCH(QString, programFolder);
        QFETCH(QStringList, options);
        QFETCH(QString, expected);
        if (programFolder == "read-only") {
            if (geteuid() == 0)
                QSKIP("root writes into read-only folders; the row under a file covers root");
            QDir().mkpath(path(programFolder));
            QFile::setPermissions(path(programFolder), QFile::ReadOwner | QFile::ExeOwner);
        }
        const auto result =
            TriviaCommandLine::read(QStringList{"palvuro-trivia"} + options, path(programFolder));
        QVERIFY2(result.run, qPrintable(result.err));
        const QString folder = expected == "user" ? userData() : path(expected);
        QCOMPARE(result.folder, folder);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(QFileInfo::exists(userData()), expected == "user");
        QVERIFY(entries(path("usr/bin")).isEmpty());
        QCOMPARE(DataFolder::choose(path(programFolder), options.isEmpty() ? QString() : folder).path,
                 folder);
    }

    // The real program refuses a folder it cannot make, and bad usage, before writing anywhere;
    // --help names the folder a run would use, without needing a screen.
    void programRefusesAndExplains() {
        const QString program = qEnvironmentVariable("PALVURO_BIN_DIR") + "/palvuro-trivia";
        if (!QFileInfo(program).isExecutable())
            QSKIP("palvuro-trivia is not built in PALVURO_BIN_DIR");
        const auto run = [&](const QStringList& args, QByteArray* out, QByteArray* err) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_RUNTIME_DIR", root_.path());
            env.remove("DISPLAY");
            process.setProcessEnvironment(env);
            process.start(program, args);
            process.waitForFinished(30000);
            *out = process.readAllStandardOutput();
            *err = process.readAllStandardError();
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        QByteArray out, err;
        QCOMPARE(run({"--folder", path("a-file/room")}, &out, &err), 2);
        QVERIFY2(err.contains("cannot create the folder " + path("a-file/room").toLocal8Bit()), err);
        QCOMPARE(run({"--no-such-option"}, &out, &err), 2);
        QVERIFY2(err.contains("no-such-option"), err);
        QCOMPARE(run({"extra"}, &out, &err), 2);
        QVERIFY(!QFileInfo::exists(userData()));

        qunsetenv("QT_QPA_PLATFORM");
        QCOMPARE(run({"--help"}, &out, &err), 0);
        QVERIFY2(out.contains("--folder <dir>") && out.contains(userData().toLocal8Bit()), out);
        QCOMPARE(run({"--version"}, &out, &err), 0);
        QCOMPARE(out, QByteArray("palvuro-trivia " PALVURO_VERSION "\n"));
        QVERIFY(!QFileInfo::exists(userData()));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
