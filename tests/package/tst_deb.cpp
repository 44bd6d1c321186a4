#include "data/TriviaDatabase.h"
#include "tests/support/E2eSession.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestFiles.h"

#include <QtTest>

#include <tuple>

using namespace palvuro;

namespace {

// A tool of the system by its name, or a program by its absolute path, run to its end.
ProgramRun run(const QString& program, const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    return ProgramRun(QStandardPaths::findExecutable(program), args, env, 300000);
}

QStringList filesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

} // namespace

// The Debian package built from this build tree, checked as Debian and desktops check it, then
// unpacked and played: the installed bot keeps its data in the per-user folder, never beside
// itself.
class TestDeb : public QObject {
    Q_OBJECT
    QTemporaryDir work_;
    QString deb_;
    QString root() const { return work_.filePath("root"); }

private Q_SLOTS:
    void initTestCase() {
        for (const char* tool :
             {"lintian", "dpkg-deb", "dpkg-shlibdeps", "desktop-file-validate", "appstreamcli"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QString(tool) + " is not installed (make deps)"));
        QVERIFY(work_.isValid());
        const ProgramRun cpack =
            run(qEnvironmentVariable("PALVURO_CPACK"),
                {"--config", qEnvironmentVariable("PALVURO_BUILD_DIR") + "/CPackConfig.cmake", "-B",
                 work_.filePath("out")});
        QVERIFY2(cpack.status == 0, cpack.out + cpack.err);
        const QStringList debs = QDir(work_.filePath("out")).entryList({"palvuro-trivia_*_*.deb"});
        QCOMPARE(debs.size(), 1);
        deb_ = work_.filePath("out/" + debs.first());
        const ProgramRun unpack = run("dpkg-deb", {"-x", deb_, root()});
        QVERIFY2(unpack.status == 0, unpack.out + unpack.err);
    }

    void debianAndDesktopChecksPass() {
        const ProgramRun lintian = run("lintian", {"--fail-on", "error,warning", deb_});
        QVERIFY2(lintian.status == 0, lintian.out + lintian.err);
        const QString share = root() + "/usr/share/";
        const ProgramRun desktop =
            run("desktop-file-validate", {share + "applications/org.palvuro.Trivia.desktop",
                                          share + "applications/org.palvuro.Chat.desktop"});
        QVERIFY2(desktop.status == 0, desktop.out + desktop.err);
        const ProgramRun metainfo =
            run("appstreamcli", {"validate", "--no-net", share + "metainfo/org.palvuro.Trivia.metainfo.xml"});
        QVERIFY2(metainfo.status == 0, metainfo.out + metainfo.err);
    }

    // Each man page describes exactly the options its program's --help lists, so that neither
    // can change without the other. Qt's own --help and --version may go unsaid.
    void manPagesMatchTheHelp() {
        const QRegularExpression helpOption(R"(^\s+(?:-[^\s,]+, )*--([a-z0-9-]+))");
        const QRegularExpression manOption(R"(\\-\\-([a-z0-9]+(?:\\-[a-z0-9]+)*))");
        for (const char* program : {"palvuro-trivia", "palvuro-chat", "palvuro-spy", "palvuro-import",
                                    "palvuro-export", "palvuro-host", "palvuro-bridge"}) {
            const ProgramRun help = run(root() + "/usr/bin/" + program, {"--help"});
            QVERIFY2(help.status == 0, help.out + help.err);
            QSet<QString> listed;
            const QSet<QString> standard{"help", "help-all", "version"};
            for (const QString& line : QString(help.out).split('\n'))
                if (const auto m = helpOption.match(line); m.hasMatch())
                    listed << m.captured(1);
            QFile page(QString(PALVURO_SOURCE_DIR "/packaging/man/") + program + ".1");
            QVERIFY(page.open(QIODevice::ReadOnly));
            QSet<QString> described, mentioned;
            bool tag = false;
            for (const QString& line : QString(page.readAll()).split('\n')) {
                for (auto it = manOption.globalMatch(line); it.hasNext();) {
                    const QString name = it.next().captured(1).replace("\\-", "-");
                    mentioned << name;
                    if (tag)
                        described << name;
                }
                tag = line == ".TP" || line == ".TQ";
            }
            listed -= standard;
            QVERIFY2((listed - mentioned).isEmpty(),
                     qPrintable(QString(program) + " man page lacks --" +
                                QStringList((listed - mentioned).values()).join(" --")));
            const QSet<QString> unknown = described - listed - standard;
            QVERIFY2(unknown.isEmpty(), qPrintable(QString(program) + " takes no --" +
                                                   QStringList(unknown.values()).join(" --")));
        }
    }

    // The host's units as systemd reads them: the template under the name of one instance, both
    // starting the unpacked program (systemd checks that it is there).
    void hostUnitsVerify() {
        if (QStandardPaths::findExecutable("systemd-analyze").isEmpty())
            QSKIP("systemd-analyze is not installed (make deps)");
        QVERIFY(QFileInfo::exists(root() + "/usr/share/doc/palvuro-trivia/host.conf.example"));
        const QString units = work_.filePath("units");
        QVERIFY(QDir().mkpath(units + "/runtime"));
        QFile::setPermissions(units + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const auto& [installed, scope, name] :
             {std::tuple{"/usr/lib/systemd/system/palvuro-host@.service", "--system",
                         "palvuro-host@trivia.service"},
              std::tuple{"/usr/lib/systemd/user/palvuro-host.service", "--user", "palvuro-host.service"}}) {
            QFile unit(root() + installed);
            QVERIFY2(unit.open(QIODevice::ReadOnly), qPrintable(unit.fileName()));
            QFile copy(units + "/" + name);
            QVERIFY(copy.open(QIODevice::WriteOnly));
            copy.write(
                unit.readAll().replace("/usr/bin/palvuro-host", (root() + "/usr/bin/palvuro-host").toUtf8()));
            copy.close();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_RUNTIME_DIR", units + "/runtime"); // the user manager's
            const ProgramRun verify =
                run("systemd-analyze", {"verify", scope, "--man=no", copy.fileName()}, env);
            QVERIFY2(verify.status == 0 && (verify.out + verify.err).trimmed().isEmpty(),
                     verify.out + verify.err);
        }
    }

    // The unpacked programs start and answer from the per-user data folder, where the unpacked
    // importer adds its questions by default, and nothing new appears beside the programs.
    void installedBotPlaysFromUserData() {
        const QString why = E2eSession::cannotRun();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        const QString bin = root() + "/usr/bin";
        const QStringList installed = filesUnder(root() + "/usr");
        {
            E2eSession room(E2eSession::Layout::Installed, bin);
            QVERIFY2(room.start(), qPrintable(room.error()));
            const int mark = room.roomSize();
            room.say("ANNA", "!START HISTORY"); // ANNA and HISTORY are in the per-user folder only
            QVERIFY2(room.waitFor(mark, E2eSession::botSays("[Trivia Bot Started By ANNA]")),
                     room.dump(mark));

            const QString bank = work_.filePath("science.tsv");
            QVERIFY(TestFiles::write(bank, "SCIENCE\tWHAT IS H2O?\tWATER\n"));
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_DATA_HOME", room.dataHome());
            const ProgramRun import = run(bin + "/palvuro-import", {bank}, env);
            QVERIFY2(import.status == 0, import.out + import.err);
            QStringList categories;
            QCOMPARE(TriviaDatabase(room.dataFolder()).listCategories(&categories), DbStatus::Ok);
            QVERIFY2(categories.contains("SCIENCE"), qPrintable(categories.join(' ')));
        }
        QCOMPARE(filesUnder(root() + "/usr"), installed);
    }
};

QTEST_GUILESS_MAIN(TestDeb)
#include "tst_deb.moc"
