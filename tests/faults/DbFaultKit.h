#pragma once

#include "admin/CategoryEditor.h"
#include "admin/PairFinder.h"
#include "admin/ScoreEditor.h"
#include "tests/faults/BotBench.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <unistd.h>

namespace palvuro {

// One operation of the bot or of an operator's window on a damaged or unusable Trivia.mdb, and
// what it must give: the healthy result when the fault leaves what it needs intact, otherwise
// its failure result (a line in the room, the bot's silence, or a message for the operator).
// Anything else, or a changed file after a failure, is an undefined result.
class DbFaultKit {
public:
    enum class Fault { Garbage, Truncated, ReadOnlyFolder, FullDisk, WriteLocked, Locked };
    // Whether a fault leaves reads or writes working; Either: the platform decides.
    enum class Works { Yes, No, Either };

    // A chat line (nick set: the bot's replies joined by '|', "" for silence), or an operator's
    // step in an editor (healthy: no message at all).
    struct Op {
        const char* name;
        bool writes;
        bool inGame; // runs inside a game, started before the fault strikes where the fault allows it
        const char* nick = nullptr;
        const char* text = nullptr;
        const char* healthy = "";
        const char* failed = "";
    };
    struct Result {
        bool healthy = false;
        bool failed = false;
        QString shown; // what the room or the operator saw
    };

    static const QList<Op>& ops() {
        static const char help[] =
            "/msg BOB <b>COMMANDS ARE;\r\n!Start Category\r\n!Categories\r\n!Top\r\n!Q\r\n"
            "!MyScore\r\n!GetUsersScore UsersNickName\r\n!Quit</b>";
        // Silence where a made-up answer would be wrong.
        static const QList<Op> all = [] {
            QList<Op> ops = {
                {"!START", false, false, "Anna", "!START HISTORY",
                 "[Trivia Bot Started By ANNA]|CAPITAL OF FRANCE?",
                 "Trivia Not Started, Category Wasn't Specified Correctly."},
                {"answer", true, true, "BOB", "Paris",
                 "(*)BOB (*) Is Correct, Your Score Is [ 13 ]\r\n5 Seconds Until Next Question.",
                 "(*)BOB (*) Is Correct, But The Score Could Not Be Saved\r\n5 Seconds Until Next Question."},
                {"!TOP", false, false, "BOB", "!TOP", "/msg BOB <b>\r\nBOB 12\r\nANNA 4\r\n</b>",
                 "/msg BOB <b>Thier Are No Scores Yet</b>"},
                {"!MYSCORE", false, false, "BOB", "!MYSCORE", "/msg BOB <b>Your Score Is 12</b>"},
                {"!GETUSERSCORE", false, false, "BOB", "!GETUSERSCORE ANNA",
                 "/msg BOB <b>ANNA's Score Is 4</b>"},
                {"!CATEGORIES", false, false, "BOB", "!CATEGORIES",
                 "CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n"},
                {"!HELP", false, false, "BOB", "!HELP", help, help},
                {"!Q", false, true, "BOB", "!Q", "/msg BOB <b>CAPITAL OF FRANCE?</b>",
                 "/msg BOB <b>CAPITAL OF FRANCE?</b>"},
                {"!QUIT", false, true, "Anna", "!QUIT", "[Trivia Ended By ANNA]", "[Trivia Ended By ANNA]"}};
            // The operator's steps in the editor windows; only loading and finding leave the file alone.
            for (const char* step :
                 {"editor-load", "editor-create", "editor-add-pair", "editor-drop", "finder-find",
                  "finder-update", "finder-delete", "score-find", "score-update", "score-reset"}) {
                const QByteArray name(step);
                ops.append({step, !name.endsWith("-load") && !name.endsWith("-find"), false});
            }
            return ops;
        }();
        return all;
    }

    // The rows of a suite: every operation under each fault.
    static void addRows(std::initializer_list<Fault> faults) {
        static const char* names[] = {"garbage",   "truncated",    "read-only-folder",
                                      "full-disk", "write-locked", "locked"};
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("op");
        for (Fault fault : faults) {
            for (int op = 0; op < ops().size(); ++op)
                QTest::addRow("%s/%s", names[int(fault)], ops()[op].name) << int(fault) << op;
        }
    }

    static void runCase() {
        QFETCH(int, fault);
        QFETCH(int, op);
        DbFaultKit kit{Fault(fault)};
        const QString cannot = kit.prepare();
        if (!cannot.isEmpty())
            QSKIP(qPrintable(cannot));
        QString verdict;
        const Result result = kit.run(ops()[op], &verdict);
        // One line per case for the reliability report.
        const QString shown = result.shown.isEmpty() ? QStringLiteral("(silence)") : result.shown;
        std::printf("FAULT-CASE %s: %s %s\n", QTest::currentDataTag(),
                    !verdict.isEmpty() ? "UNDEFINED"
                    : result.healthy   ? "worked"
                                       : "refused",
                    qPrintable(QString(shown).replace(QStringLiteral("\r\n"), QStringLiteral(" / "))));
        std::fflush(stdout);
        QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    }

private:
    explicit DbFaultKit(Fault fault) : fault_(fault) {}
    ~DbFaultKit() {
        if (locker_) {
            locker_->kill();
            locker_->waitForFinished();
        }
        if (mounted_)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder_});
    }

    // Empty when the fault can be made here; otherwise why not.
    QString prepare() {
        folder_ = work_.path() + QStringLiteral("/program");
        QDir().mkpath(folder_);
        if (fault_ == Fault::ReadOnlyFolder || fault_ == Fault::FullDisk) {
            if (geteuid() != 0)
                return QStringLiteral("mounting a small file system needs root");
            const QString size = fault_ == Fault::FullDisk ? "size=1m" : "size=4m";
            if (QProcess::execute("mount", {"-t", "tmpfs", "-o", size, "tmpfs", folder_}) != 0)
                return QStringLiteral("tmpfs cannot be mounted here");
            mounted_ = true;
        }
        if ((fault_ == Fault::WriteLocked || fault_ == Fault::Locked) &&
            QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            return QStringLiteral("the sqlite3 program is missing");
        const QString config = work_.path() + QStringLiteral("/config");
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
        return BotBench::prepareFolder(folder_) ? QString()
                                                : QStringLiteral("the program folder could not be made");
    }

    // Runs the operation on the damaged file; the verdict says whether the result is defined.
    Result run(const Op& op, QString* verdict) {
        std::unique_ptr<BotBench> bench;
        const bool gameFirst = op.inGame && reads() != Works::Yes;
        if (!gameFirst)
            strike();
        if (op.nick) {
            bench = std::make_unique<BotBench>(folder_);
            if (op.inGame && !bench->startGame()) {
                *verdict = QStringLiteral("the game did not start before the fault");
                return {};
            }
            if (gameFirst)
                strike();
        }
        const QByteArray before = fileBytes();
        const Result result = bench ? say(*bench, op) : edit(op);
        if (bench && !bench->fatalErrors.isEmpty())
            *verdict = QStringLiteral("the program would end: ") + bench->fatalErrors.join(QLatin1Char(' '));
        bench.reset();
        if (verdict->isEmpty())
            *verdict = judge(op, result, before);
        return result;
    }

    Works reads() const {
        if (lockMissed_ || fault_ == Fault::ReadOnlyFolder || fault_ == Fault::WriteLocked)
            return Works::Yes;
        return fault_ == Fault::FullDisk ? Works::Either : Works::No; // a new -wal or -shm may not fit
    }
    Works writes() const { return lockMissed_ ? Works::Either : Works::No; }

    QString dbPath() const { return folder_ + QStringLiteral("/Trivia.mdb"); }
    QByteArray fileBytes() const {
        QFile file(dbPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Damages the file in place, as a program that copies over it or cuts it would.
    void strike() {
        QFile file(dbPath());
        switch (fault_) {
        case Fault::Garbage: {
            QList<quint32> words(4096);
            QRandomGenerator(7).fillRange(words.data(), words.size());
            if (file.open(QIODevice::WriteOnly))
                file.write(reinterpret_cast<const char*>(words.constData()), words.size() * 4);
            break;
        }
        case Fault::Truncated:
            file.resize(3000);
            break;
        case Fault::ReadOnlyFolder:
            QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", folder_});
            break;
        case Fault::FullDisk: {
            QFile filler(folder_ + QStringLiteral("/filler"));
            const QByteArray block(512, 'x');
            if (filler.open(QIODevice::WriteOnly)) {
                while (filler.write(block) == block.size() && filler.flush()) {
                }
            }
            break;
        }
        case Fault::WriteLocked:
            lock("BEGIN EXCLUSIVE;\n");
            break;
        case Fault::Locked:
            lock("PRAGMA locking_mode = EXCLUSIVE;\nBEGIN EXCLUSIVE;\nUPDATE Psystem SET Points = Points "
                 "WHERE 0;\n");
            break;
        }
    }

    // Another program holds the file: the sqlite3 shell in an open transaction.
    void lock(const QByteArray& statements) {
        locker_ = std::make_unique<QProcess>();
        locker_->start(QStringLiteral("sqlite3"), {dbPath()});
        locker_->waitForStarted();
        locker_->write(statements + "SELECT 'held';\n");
        while (!locker_->readAllStandardOutput().contains("held") && locker_->waitForReadyRead(5000)) {
        }
        // A game's open connection keeps the shell from taking the file for itself; the case
        // then only shows that the two can share it.
        TriviaDatabase probe(folder_);
        probe.setBusyTimeout(0);
        lockMissed_ = fault_ == Fault::Locked && probe.open() == DbStatus::Ok;
    }

    static Result say(BotBench& bench, const Op& op) {
        bench.desk.clearLog();
        if (QByteArray(op.name) == "!START")
            bench.startGame();
        else
            bench.say(QString::fromLatin1(op.nick), QString::fromLatin1(op.text));
        bench.tick(2);
        const QString said = bench.botLines().join(QLatin1Char('|'));
        return {said == QLatin1String(op.healthy), said == QLatin1String(op.failed), said};
    }

    // The operator's step in one of the editor windows; healthy: no message at all.
    Result edit(const Op& op) const {
        TriviaDatabase db(folder_);
        db.setBusyTimeout(300);
        const QByteArray step = op.name;
        std::optional<Notice> notice;
        if (step.startsWith("editor")) {
            CategoryEditor editor(db);
            notice = editor.load();
            if (step == "editor-create")
                notice = editor.create(QStringLiteral("Geography")).notice;
            else if (step == "editor-add-pair" && !notice)
                notice = editor.addPair(QStringLiteral("Question?"), QStringLiteral("Answer")).notice;
            else if (step == "editor-drop")
                notice = editor.remove(QStringLiteral("ART"), [] { return true; }).notice;
        } else if (step.startsWith("finder")) {
            PairFinder finder(db);
            notice = finder.find(PairFinder::By::Answer, QStringLiteral("HISTORY"), QStringLiteral("PARIS"))
                         .notice;
            if (step == "finder-update" && finder.pairFound())
                notice = finder.update(QStringLiteral("Capital of Italy?"), QStringLiteral("Rome")).notice;
            else if (step == "finder-delete" && finder.pairFound())
                notice = finder.remove().notice;
        } else {
            ScoreEditor editor(folder_);
            notice = editor.find(QStringLiteral("anna")).notice;
            if (step == "score-update" && editor.found())
                notice = editor.update(QStringLiteral("anna"), QStringLiteral("7"));
            else if (step == "score-reset")
                notice = editor.resetAll();
        }
        const bool failed = notice.has_value() && !notice->text.trimmed().isEmpty();
        return {!notice.has_value(), failed, notice ? notice->text : QStringLiteral("(no message)")};
    }

    QString judge(const Op& op, const Result& result, const QByteArray& before) const {
        const bool mustFail = reads() == Works::No || (op.writes && writes() == Works::No);
        const bool mayFail = mustFail || reads() == Works::Either || (op.writes && writes() == Works::Either);
        if (result.healthy && !mustFail)
            return {};
        if (!result.failed || !mayFail)
            return QStringLiteral("undefined result: ") + result.shown;
        return fileBytes() == before ? QString() : QStringLiteral("the failed operation changed the file");
    }

    Fault fault_;
    QTemporaryDir work_;
    QString folder_;
    bool mounted_ = false;
    bool lockMissed_ = false;
    std::unique_ptr<QProcess> locker_;
};

} // namespace palvuro
