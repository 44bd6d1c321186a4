// Trivia.mdb replaced by garbage, cut short, on a read-only file system, on a full disk, or held by
// the sqlite3 shell in an open transaction (with and without its exclusive locking mode): every
// operation waits at most its bounded time, then gives its defined result, and a failed one never
// writes to the file.
#include "admin/CategoryEditor.h"
#include "admin/PairFinder.h"
#include "admin/ScoreEditor.h"
#include "tests/support/BotDriver.h"
#include "tests/support/TestFiles.h"

#include <QtTest>

#include <cstdio>

namespace palvuro {

// One operation of the bot or of an operator's window on a damaged or unusable Trivia.mdb, and
// what it must give: the healthy result when the fault leaves what it needs intact, otherwise
// its failure result (a line in the room, the bot's silence, or a message for the operator).
// Anything else, or a changed file after a failure, is an undefined result.
class DbFaultKit {
public:
    enum class Fault { Garbage, Truncated, ReadOnlyFolder, FullDisk, WriteLocked, Locked };

    // Every operation under each fault.
    static void addRows() {
        static const char* names[] = {"garbage",   "truncated",    "read-only-folder",
                                      "full-disk", "write-locked", "locked"};
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("op");
        for (int fault = 0; fault <= int(Fault::Locked); ++fault) {
            for (int op = 0; op < ops().size(); ++op)
                QTest::addRow("%s/%s", names[fault], ops()[op].name) << fault << op;
        }
    }

    static void runCase() {
        QFETCH(int, fault);
        QFETCH(int, op);
        DbFaultKit kit(Fault(fault), ops()[op]);
        const QString cannot = kit.prepare();
        if (!cannot.isEmpty())
            QSKIP(qPrintable(cannot));
        const QString verdict = kit.run();
        // One line per case for the reliability report.
        std::printf("FAULT-CASE %s: %s %s\n", QTest::currentDataTag(),
                    !verdict.isEmpty() ? "UNDEFINED"
                    : kit.healthy_     ? "worked"
                                       : "refused",
                    kit.shown_.isEmpty() ? "(silence)" : qPrintable(kit.shown_.replace("\r\n", " / ")));
        std::fflush(stdout);
        QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    }

private:
    // A chat line (nick set: the bot's lines joined by '|', "" for silence), or an operator's
    // step in an editor (healthy: no message at all).
    struct Op {
        const char* name;
        bool writes;
        bool inGame; // runs inside a game, started before the fault strikes where the fault allows it
        const char* nick = nullptr;
        const char* text = nullptr;
        const char* healthy = "";
        const char* failed = ""; // silence where a made-up answer would be wrong
    };

    // Commands that never reach the file (!HELP, !Q) have nothing to lose to its faults: !QUIT
    // stands for them, in a game the fault struck.
    static const QList<Op>& ops() {
        static const QList<Op> all = [] {
            QList<Op> list = {
                {"!START", false, false, "Anna", "!START HISTORY",
                 "[Trivia Bot Started By ANNA]|CAPITAL OF FRANCE?",
                 "Trivia Not Started, Category Wasn't Specified Correctly."},
                {"answer", true, true, "BOB", "Paris",
                 "(*)BOB (*) Is Correct, Your Score Is [ 13 ]\r\n40 Seconds Until Next Question.",
                 "(*)BOB (*) Is Correct, But The Score Could Not Be Saved\r\n40 Seconds Until Next "
                 "Question."},
                {"!TOP", false, false, "BOB", "!TOP", "/msg BOB <b>\r\nBOB 12\r\nANNA 4\r\n</b>",
                 "/msg BOB <b>Thier Are No Scores Yet</b>"},
                {"!MYSCORE", false, false, "BOB", "!MYSCORE", "/msg BOB <b>Your Score Is 12</b>"},
                {"!GETUSERSCORE", false, false, "BOB", "!GETUSERSCORE ANNA",
                 "/msg BOB <b>ANNA's Score Is 4</b>"},
                {"!CATEGORIES", false, false, "BOB", "!CATEGORIES",
                 "CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n"},
                {"!QUIT", false, true, "Anna", "!QUIT", "[Trivia Ended By ANNA]", "[Trivia Ended By ANNA]"}};
            for (const char* step :
                 {"editor-load", "editor-create", "editor-add-pair", "editor-drop", "finder-find",
                  "finder-update", "finder-delete", "score-find", "score-update", "score-reset"}) {
                const QByteArray name(step); // only loading and finding leave the file alone
                list.append({step, !name.endsWith("-load") && !name.endsWith("-find"), false});
            }
            return list;
        }();
        return all;
    }

    DbFaultKit(Fault fault, const Op& op) : fault_(fault), op_(op) {}
    ~DbFaultKit() {
        locker_.kill();
        locker_.waitForFinished();
        if (mounted_)
            QProcess::execute("umount", {"-l", folder_});
    }

    // Empty when the fault can be made here; otherwise why not.
    QString prepare() {
        QDir().mkpath(folder_);
        if (fault_ == Fault::ReadOnlyFolder || fault_ == Fault::FullDisk) {
            const QString size = fault_ == Fault::FullDisk ? "size=1m" : "size=4m";
            if (QProcess::execute("mount", {"-t", "tmpfs", "-o", size, "tmpfs", folder_}) != 0)
                return "tmpfs cannot be mounted here (it needs root)";
            mounted_ = true;
        }
        if ((fault_ == Fault::WriteLocked || fault_ == Fault::Locked) &&
            QStandardPaths::findExecutable("sqlite3").isEmpty())
            return "the sqlite3 program is missing";
        qputenv("XDG_CONFIG_HOME", work_.filePath("config").toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work_.filePath("config"));
        return BotDriver::prepareFolder(folder_) ? QString() : "the program folder could not be made";
    }

    // Runs the operation on the damaged file: empty when the result is defined, otherwise why not.
    QString run() {
        const bool readsBroken = fault_ != Fault::ReadOnlyFolder && fault_ != Fault::WriteLocked;
        const bool gameFirst = op_.inGame && readsBroken;
        if (!gameFirst)
            strike();
        if (!op_.nick)
            edit();
        else if (const QString broken = say(gameFirst); !broken.isEmpty())
            return broken;
        // A shell that lost the race for the file shares it: reads must work, writes may go either way.
        const bool mustFail = !lockMissed_ && (op_.writes || (readsBroken && fault_ != Fault::FullDisk));
        const bool mayFail = mustFail || fault_ == Fault::FullDisk || (lockMissed_ && op_.writes);
        if (healthy_ && !mustFail)
            return {};
        if (!failed_ || !mayFail)
            return "undefined result: " + shown_;
        // The room hears silence or a stock line; the operator must be able to find out why, from
        // lines that never repeat what a chatter typed.
        if (op_.nick && !healthy_ && warnings_.lines.isEmpty())
            return "the failure left no warning in the program's log";
        for (QString line : std::as_const(warnings_.lines)) {
            if (op_.nick && line.remove(work_.path()).contains(QLatin1String(op_.nick)))
                return "a warning holds the chatter's nick: " + line;
        }
        return fileBytes() == before_ ? QString() : "the failed operation changed the file";
    }

    QString dbPath() const { return folder_ + "/Trivia.mdb"; }
    QByteArray fileBytes() const { return TestFiles::read(dbPath()); }

    // Damages the file in place, as a program that copies over it or cuts it would, and keeps
    // what it then holds.
    void strike() {
        QFile file(dbPath());
        if (fault_ == Fault::Garbage) {
            QList<quint32> words(4096);
            QRandomGenerator(7).fillRange(words.data(), words.size());
            if (file.open(QIODevice::WriteOnly))
                file.write(reinterpret_cast<const char*>(words.constData()), words.size() * 4);
        } else if (fault_ == Fault::Truncated) {
            file.resize(3000);
        } else if (fault_ == Fault::ReadOnlyFolder) {
            QProcess::execute("mount", {"-o", "remount,ro", folder_});
        } else if (fault_ == Fault::FullDisk) {
            QFile filler(folder_ + "/filler");
            const QByteArray block(512, 'x');
            filler.open(QIODevice::WriteOnly);
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        } else {
            lock(fault_ == Fault::WriteLocked ? "BEGIN EXCLUSIVE;\n"
                                              : "PRAGMA locking_mode = EXCLUSIVE;\nBEGIN EXCLUSIVE;\n"
                                                "UPDATE Psystem SET Points = Points WHERE 0;\n");
        }
        file.close();
        before_ = fileBytes();
    }

    // Another program holds the file: the sqlite3 shell in an open transaction.
    void lock(const QByteArray& statements) {
        locker_.start("sqlite3", {dbPath()});
        locker_.waitForStarted();
        locker_.write(statements + "SELECT 'held';\n");
        while (!locker_.readAllStandardOutput().contains("held") && locker_.waitForReadyRead(5000)) {
        }
        // A game's open connection keeps the shell from taking the file for itself; the case
        // then only shows that the two can share it.
        TriviaDatabase probe(folder_);
        probe.setBusyTimeout(0);
        lockMissed_ = fault_ == Fault::Locked && probe.open() == DbStatus::Ok;
    }

    // The chat line, in a game started before the fault strikes when gameFirst; empty, or why
    // the case could not be played.
    QString say(bool gameFirst) {
        BotDriver bot(folder_);
        if (op_.inGame && !bot.startGame())
            return "the game did not start before the fault";
        if (gameFirst)
            strike();
        bot.said.clear();
        if (QByteArray(op_.name) == "!START")
            bot.startGame();
        else
            bot.say(QString::fromLatin1(op_.nick), QString::fromLatin1(op_.text));
        bot.tick(2);
        shown_ = bot.saidTexts().join('|');
        healthy_ = shown_ == QLatin1String(op_.healthy);
        failed_ = shown_ == QLatin1String(op_.failed);
        return bot.fatalErrors.isEmpty() ? QString() : "the program would end: " + bot.fatalErrors.join(' ');
    }

    // The operator's step in one of the editor windows.
    void edit() {
        TriviaDatabase db(folder_);
        db.setBusyTimeout(300);
        const QByteArray step = op_.name;
        std::optional<Notice> notice;
        if (step.startsWith("editor")) {
            CategoryEditor editor(db);
            notice = editor.load();
            if (step == "editor-create")
                notice = editor.create("Geography").notice;
            else if (step == "editor-add-pair" && !notice)
                notice = editor.addPair("Question?", "Answer").notice;
            else if (step == "editor-drop")
                notice = editor.remove("ART", [] { return true; }).notice;
        } else if (step.startsWith("finder")) {
            PairFinder finder(db);
            notice = finder.find(PairFinder::By::Answer, "HISTORY", "PARIS").notice;
            if (step == "finder-update" && finder.pairFound())
                notice = finder.update("Capital of Italy?", "Rome").notice;
            else if (step == "finder-delete" && finder.pairFound())
                notice = finder.remove().notice;
        } else {
            ScoreEditor editor(folder_);
            notice = editor.find("anna").notice;
            if (step == "score-update" && editor.found())
                notice = editor.update("anna", "7");
            else if (step == "score-reset")
                notice = editor.resetAll();
        }
        shown_ = notice ? notice->text : "(no message)";
        healthy_ = !notice.has_value();
        failed_ = notice.has_value() && !notice->text.trimmed().isEmpty();
    }

    // The warnings of the program's own logging categories while the case runs.
    struct WarningLog {
        QStringList lines;
        QtMessageHandler previous = qInstallMessageHandler(&WarningLog::handle);
        WarningLog() { current() = this; }
        ~WarningLog() {
            qInstallMessageHandler(previous);
            current() = nullptr;
        }
        static WarningLog*& current() {
            static WarningLog* log = nullptr;
            return log;
        }
        static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
            WarningLog* log = current();
            if (type == QtWarningMsg && context.category && qstrncmp(context.category, "palvuro.", 8) == 0)
                log->lines.append(text);
            log->previous(type, context, text);
        }
    };

    const Fault fault_;
    const Op& op_;
    WarningLog warnings_;
    QTemporaryDir work_;
    const QString folder_ = work_.path() + "/program";
    bool mounted_ = false, lockMissed_ = false;
    QProcess locker_;
    QByteArray before_;
    QString shown_; // what the room or the operator saw
    bool healthy_ = false, failed_ = false;
};

} // namespace palvuro

using namespace palvuro;

class TstDbFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operations_data() { DbFaultKit::addRows(); }
    void operations() { DbFaultKit::runCase(); }
};

QTEST_GUILESS_MAIN(TstDbFaults)
#include "tst_dbfaults.moc"
