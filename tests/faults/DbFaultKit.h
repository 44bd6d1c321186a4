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
#include <memory>
#include <unistd.h>

namespace palvuro {

// One operation of the bot or of an operator's window on a damaged or unusable Trivia.mdb, and
// what it must give: the healthy result when the fault leaves what it needs intact, otherwise
// its failure result (a line in the room, the specified silence, or a message for the
// operator). Anything else, or a changed file after a failure, is an undefined result.
class DbFaultKit {
public:
    enum class Fault { Garbage, Truncated, ReadOnlyFolder, FullDisk, WriteLocked, Locked };
    enum class Op {
        Start,
        Answer,
        Top,
        MyScore,
        GetUserScore,
        Categories,
        Help,
        Question,
        Quit,
        EditorLoad,
        EditorCreate,
        EditorAddPair,
        EditorDrop,
        FinderFind,
        FinderUpdate,
        FinderDelete,
        ScoreFind,
        ScoreUpdate,
        ScoreReset
    };
    // Whether a fault leaves reads or writes working; Either: the platform decides.
    enum class Works { Yes, No, Either };

    struct Result {
        bool healthy = false;
        bool failed = false;
        QString shown; // what the room or the operator saw
    };

    static QList<Op> allOps() {
        QList<Op> ops;
        for (int op = int(Op::Start); op <= int(Op::ScoreReset); ++op)
            ops << Op(op);
        return ops;
    }

    static const char* name(Op op) {
        static const char* names[] = {"!START",        "answer",       "!TOP",          "!MYSCORE",
                                      "!GETUSERSCORE", "!CATEGORIES",  "!HELP",         "!Q",
                                      "!QUIT",         "editor-load",  "editor-create", "editor-add-pair",
                                      "editor-drop",   "finder-find",  "finder-update", "finder-delete",
                                      "score-find",    "score-update", "score-reset"};
        return names[int(op)];
    }

    static bool needsWrite(Op op) {
        switch (op) {
        case Op::Answer:
        case Op::EditorCreate:
        case Op::EditorAddPair:
        case Op::EditorDrop:
        case Op::FinderUpdate:
        case Op::FinderDelete:
        case Op::ScoreUpdate:
        case Op::ScoreReset:
            return true;
        default:
            return false;
        }
    }
    static bool needsDatabase(Op op) { return op != Op::Help && op != Op::Question && op != Op::Quit; }
    // These run inside a game, which starts before the fault strikes where the fault allows it.
    static bool inGame(Op op) { return op == Op::Answer || op == Op::Question || op == Op::Quit; }

    // Lines the bot says for each operation, healthy and failed ("" : silence).
    static QString healthyLine(Op op) {
        const QString notice = QStringLiteral("\r\n5 Seconds Until Next Question.");
        switch (op) {
        case Op::Start:
            return QStringLiteral("[Trivia Bot Started By ANNA]|CAPITAL OF FRANCE?");
        case Op::Answer:
            return QStringLiteral("(*)BOB (*) Is Correct, Your Score Is [ 13 ]") + notice;
        case Op::Top:
            return QStringLiteral("/msg BOB <b>\r\nBOB 12\r\nANNA 4\r\n</b>");
        case Op::MyScore:
            return QStringLiteral("/msg BOB <b>Your Score Is 12</b>");
        case Op::GetUserScore:
            return QStringLiteral("/msg BOB <b>ANNA's Score Is 4</b>");
        case Op::Categories:
            return QStringLiteral("CURRENT CATEGORIES ARE:\r\n[ART]\r\n[EMPTY]\r\n[HISTORY]\r\n");
        case Op::Help:
            return QStringLiteral(
                "/msg BOB <b>COMMANDS ARE;\r\n!Start Category\r\n!Categories\r\n!Top\r\n!Q\r\n"
                "!MyScore\r\n!GetUsersScore UsersNickName\r\n!Quit</b>");
        case Op::Question:
            return QStringLiteral("/msg BOB <b>CAPITAL OF FRANCE?</b>");
        case Op::Quit:
            return QStringLiteral("[Trivia Ended By ANNA]");
        default:
            return {};
        }
    }
    static QString failedLine(Op op) {
        switch (op) {
        case Op::Start:
            return QStringLiteral("Trivia Not Started, Category Wasn't Specified Correctly.");
        case Op::Answer:
            return QStringLiteral(
                "(*)BOB (*) Is Correct, But The Score Could Not Be Saved\r\n5 Seconds Until Next "
                "Question.");
        case Op::Top:
            return QStringLiteral("/msg BOB <b>Thier Are No Scores Yet</b>");
        case Op::MyScore:
        case Op::GetUserScore:
        case Op::Categories:
            return QString(); // silence: a made-up answer would be wrong
        default:
            return healthyLine(op);
        }
    }

    explicit DbFaultKit(Fault fault) : fault_(fault) {}
    ~DbFaultKit() { release(); }

    // Empty when the fault can be made here; otherwise why not.
    QString prepare() {
        if (!work_.isValid())
            return QStringLiteral("no temporary folder");
        folder_ = work_.path() + QStringLiteral("/program");
        QDir().mkpath(folder_);
        if (fault_ == Fault::ReadOnlyFolder || fault_ == Fault::FullDisk) {
            if (geteuid() != 0)
                return QStringLiteral("mounting a small file system needs root");
            const QString size =
                fault_ == Fault::FullDisk ? QStringLiteral("size=1m") : QStringLiteral("size=4m");
            if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", size, "tmpfs", folder_}) !=
                0)
                return QStringLiteral("tmpfs cannot be mounted here");
            mounted_ = true;
        }
        if (fault_ == Fault::WriteLocked || fault_ == Fault::Locked) {
            if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
                return QStringLiteral("the sqlite3 program is missing");
        }
        qputenv("XDG_CONFIG_HOME", QString(work_.path() + QStringLiteral("/config")).toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           work_.path() + QStringLiteral("/config"));
        if (!BotBench::prepareFolder(folder_))
            return QStringLiteral("the program folder could not be made");
        return {};
    }

    Works reads() const {
        if (lockMissed_)
            return Works::Yes;
        switch (fault_) {
        case Fault::Garbage:
        case Fault::Truncated:
        case Fault::Locked:
            return Works::No;
        case Fault::FullDisk:
            return Works::Either; // a new -wal or -shm may not fit
        default:
            return Works::Yes;
        }
    }
    Works writes() const { return lockMissed_ ? Works::Either : Works::No; }

    // Runs the operation on the damaged file; the verdict says whether the result is defined.
    Result run(Op op, QString* verdict) {
        std::unique_ptr<BotBench> bench;
        const bool gameFirst = inGame(op) && reads() != Works::Yes;
        if (gameFirst || op <= Op::Quit) {
            if (!gameFirst)
                strike();
            bench = std::make_unique<BotBench>(folder_);
            if (inGame(op) && !bench->startGame()) {
                *verdict = QStringLiteral("the game did not start before the fault");
                return {};
            }
            if (gameFirst)
                strike();
        } else {
            strike();
        }
        const QByteArray before = fileBytes();
        Result result = op <= Op::Quit ? runBotOp(*bench, op) : runEditorOp(op);
        if (bench && !bench->fatalErrors.isEmpty())
            *verdict = QStringLiteral("the program would end: ") + bench->fatalErrors.join(QLatin1Char(' '));
        bench.reset();
        judge(op, result, before, verdict);
        return result;
    }

    void release() {
        if (locker_) {
            locker_->kill();
            locker_->waitForFinished();
            locker_.reset();
        }
        if (mounted_) {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder_});
            mounted_ = false;
        }
    }

private:
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
            QByteArray bytes(16384, '\0');
            QRandomGenerator random(7);
            for (char& c : bytes)
                c = char(random.bounded(256));
            if (file.open(QIODevice::WriteOnly))
                file.write(bytes);
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
            if (filler.open(QIODevice::WriteOnly)) {
                const QByteArray block(512, 'x');
                while (filler.write(block) == block.size() && filler.flush()) {
                }
            }
            break;
        }
        case Fault::WriteLocked:
            lock(QStringLiteral("BEGIN EXCLUSIVE;\n"));
            break;
        case Fault::Locked:
            lock(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE;\nBEGIN EXCLUSIVE;\n"
                                "UPDATE Psystem SET Points = Points WHERE 0;\n"));
            break;
        }
    }

    // Another program holds the file: the sqlite3 shell in an open transaction.
    void lock(const QString& statements) {
        locker_ = std::make_unique<QProcess>();
        locker_->start(QStringLiteral("sqlite3"), {dbPath()});
        locker_->waitForStarted();
        locker_->write((statements + QStringLiteral("SELECT 'held';\n")).toUtf8());
        while (!locker_->readAllStandardOutput().contains("held") && locker_->waitForReadyRead(5000)) {
        }
        // A game's open connection keeps the shell from taking the file for itself; the case
        // then only shows that the two can share it.
        TriviaDatabase probe(folder_);
        probe.setBusyTimeout(0);
        lockMissed_ = fault_ == Fault::Locked && probe.open() == DbStatus::Ok;
    }

    Result runBotOp(BotBench& bench, Op op) {
        bench.desk.clearLog();
        switch (op) {
        case Op::Start:
            bench.startGame();
            break;
        case Op::Answer:
            bench.say(QStringLiteral("BOB"), QStringLiteral("Paris"));
            break;
        case Op::Top:
            bench.say(QStringLiteral("BOB"), QStringLiteral("!TOP"));
            break;
        case Op::MyScore:
            bench.say(QStringLiteral("BOB"), QStringLiteral("!MYSCORE"));
            break;
        case Op::GetUserScore:
            bench.say(QStringLiteral("BOB"), QStringLiteral("!GETUSERSCORE ANNA"));
            break;
        case Op::Categories:
            bench.say(QStringLiteral("BOB"), QStringLiteral("!CATEGORIES"));
            break;
        case Op::Help:
            bench.say(QStringLiteral("BOB"), QStringLiteral("!HELP"));
            break;
        case Op::Question:
            bench.say(QStringLiteral("BOB"), QStringLiteral("!Q"));
            break;
        default:
            bench.say(QStringLiteral("Anna"), QStringLiteral("!QUIT"));
            break;
        }
        bench.tick(2);
        const QString said = bench.botLines().join(QLatin1Char('|'));
        return {said == healthyLine(op), said == failedLine(op), said};
    }

    Result runEditorOp(Op op) {
        TriviaDatabase db(folder_);
        db.setBusyTimeout(300);
        std::optional<Notice> notice;
        if (op <= Op::EditorDrop) {
            CategoryEditor editor(db);
            notice = editor.load();
            if (op == Op::EditorCreate)
                notice = editor.create(QStringLiteral("Geography")).notice;
            else if (op == Op::EditorAddPair && !notice)
                notice = editor.addPair(QStringLiteral("Question?"), QStringLiteral("Answer")).notice;
            else if (op == Op::EditorDrop)
                notice = editor.remove(QStringLiteral("ART"), [] { return true; }).notice;
        } else if (op <= Op::FinderDelete) {
            PairFinder finder(db);
            const PairFinder::Outcome found =
                finder.find(PairFinder::By::Answer, QStringLiteral("HISTORY"), QStringLiteral("PARIS"));
            notice = found.notice;
            if (op == Op::FinderUpdate && finder.pairFound())
                notice = finder.update(QStringLiteral("Capital of Italy?"), QStringLiteral("Rome")).notice;
            else if (op == Op::FinderDelete && finder.pairFound())
                notice = finder.remove().notice;
        } else {
            ScoreEditor editor(folder_);
            const ScoreEditor::FindOutcome found = editor.find(QStringLiteral("anna"));
            notice = found.notice;
            if (op == Op::ScoreUpdate && editor.found())
                notice = editor.update(QStringLiteral("anna"), QStringLiteral("7"));
            else if (op == Op::ScoreReset)
                notice = editor.resetAll();
        }
        const bool failed = notice.has_value() && !notice->text.trimmed().isEmpty();
        return {!notice.has_value(), failed, notice ? notice->text : QStringLiteral("(no message)")};
    }

    void judge(Op op, const Result& result, const QByteArray& before, QString* verdict) const {
        if (!verdict->isEmpty())
            return;
        const bool readBroken = needsDatabase(op) && reads() == Works::No;
        const bool writeBroken = needsWrite(op) && writes() == Works::No;
        const bool mustFail = readBroken || writeBroken;
        const bool mayFail = mustFail || (needsDatabase(op) && reads() == Works::Either) ||
                             (needsWrite(op) && writes() == Works::Either);
        if (result.healthy && !mustFail)
            return;
        if (!result.failed || !mayFail) {
            *verdict = QStringLiteral("undefined result: ") + result.shown;
            return;
        }
        if (fileBytes() != before)
            *verdict = QStringLiteral("the failed operation changed the file");
    }

    Fault fault_;
    QTemporaryDir work_;
    QString folder_;
    bool mounted_ = false;
    bool lockMissed_ = false;
    std::unique_ptr<QProcess> locker_;
};

} // namespace palvuro
