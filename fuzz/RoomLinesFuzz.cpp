#include "fuzz/RoomLinesFuzz.h"

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "commands/TriviaBot.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "fuzz/BotTextMatcher.h"
#include "fuzz/FuzzApplication.h"
#include "fuzz/RecordingWindowApi.h"
#include "platform/LetterCase.h"
#include "platform/Windows1252.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace palvuro {

namespace {

const QString kBotNick = QStringLiteral("TriviaBot");
const QStringList kSpeakers = {QStringLiteral("Anna"), QStringLiteral("BOB"), kBotNick,
                               QStringLiteral("carl"), QStringLiteral("O'Brien")};

// Commands a random byte would hardly ever spell; the record's further bytes follow them.
const QStringList kCommands = {
    QStringLiteral("!START HISTORY"),
    QStringLiteral("!START "),
    QStringLiteral("!START"),
    QStringLiteral("!GETUSERSCORE "),
    QStringLiteral("!TOP"),
    QStringLiteral("!QUIT"),
    QStringLiteral("!Q"),
    QStringLiteral("!MYSCORE"),
    QStringLiteral("!HELP"),
    QStringLiteral("!CATEGORIES"),
    QStringLiteral("!start art"),
    QStringLiteral("!START ../../etc/passwd"),
    QStringLiteral("!START /tmp/x"),
    QStringLiteral("!GETUSERSCORE ' OR 1=1 --"),
    QStringLiteral("!START EMPTY"),
    QStringLiteral("!START WEIRD"),
    QStringLiteral("!GETUSERSCORE ANNA"),
    QStringLiteral("!START Psystem"),
    QStringLiteral("!START sqlite_master"),
    QStringLiteral("!TOP !START ART"),
    QStringLiteral("!START [HISTORY]"),
    QStringLiteral("!START \"ART\""),
};

struct Row {
    const char* question;
    const char* answer;
};

// Questions as stored and as asked (leading blanks removed), answers as checked.
const QList<QPair<QString, QList<Row>>> kCategories = {
    {QStringLiteral("HISTORY"),
     {{"  Capital of France?", " Paris"}, {"Largest city of the USA?", "New York"}, {"Lucky number?", "7"}}},
    {QStringLiteral("ART"), {{"Painter of the Mona Lisa?", "da Vinci"}, {"Colour of the sky?", "blue "}}},
    {QStringLiteral("EMPTY"), {}},
    {QStringLiteral("WEIRD"), {{"'; DROP TABLE Psystem; --", "x'y"}, {"Say \"!QUIT\"", "!quit"}}},
};

QString withoutLeadingBlanks(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    return text.mid(i);
}

// Every row of every table but Psystem, and the whole schema, as one hash.
QByteArray contentDigest(QSqlDatabase& db) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QStringList tables;
    {
        QSqlQuery schema(db);
        schema.exec(
            QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name"));
        while (schema.next()) {
            for (int i = 0; i < 4; ++i)
                hash.addData(schema.value(i).toString().toUtf8() + '\x1f');
            if (schema.value(0).toString() == QLatin1String("table") &&
                schema.value(1).toString() != QLatin1String("Psystem"))
                tables << schema.value(1).toString();
        }
    }
    for (const QString& table : tables) {
        QSqlQuery rows(db);
        rows.exec(QStringLiteral("SELECT rowid, * FROM \"%1\" ORDER BY rowid").arg(table));
        while (rows.next()) {
            for (int i = 0; i < rows.record().count(); ++i)
                hash.addData(
                    (rows.value(i).isNull() ? QByteArray("\x01") : rows.value(i).toString().toUtf8()) +
                    '\x1f');
            hash.addData(QByteArray("\x1e"));
        }
    }
    return hash.result();
}

BotTextMatcher::Scores readScores(QSqlDatabase& db) {
    BotTextMatcher::Scores scores;
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT Nick, Points FROM Psystem"));
    while (query.next())
        scores.insert(query.value(0).toString(), query.value(1).toLongLong());
    return scores;
}

// The program folder every input starts from, made once per process.
class Template {
public:
    static Template& get() {
        static Template instance;
        return instance;
    }

    QString folder() const { return dir_.path() + QStringLiteral("/template"); }
    QString workFolder() const { return dir_.path() + QStringLiteral("/program"); }
    const BotTextMatcher::Facts& facts() const { return facts_; }
    const QByteArray& digest() const { return digest_; }
    const QByteArray& usersBytes() const { return usersBytes_; }

    // Lays the template's files into the work folder, replacing whatever an input left there.
    bool reset() const {
        QDir work(workFolder());
        for (const QString& name : work.entryList(QDir::Files | QDir::Hidden | QDir::System))
            work.remove(name);
        for (const QString& name : {TriviaDatabase::fileName(), UsersList::fileName()}) {
            if (!QFile::copy(folder() + QLatin1Char('/') + name, workFolder() + QLatin1Char('/') + name))
                return false;
        }
        return true;
    }

private:
    Template() {
        QDir().mkpath(folder());
        QDir().mkpath(workFolder());
        UsersList(folder()).save({QStringLiteral("Anna"), QStringLiteral("carl"), QStringLiteral("O'Brien")});
        {
            TriviaDatabase db(folder());
            db.open();
            for (const auto& category : kCategories) {
                db.createCategory(category.first);
                for (const Row& row : category.second) {
                    db.addPair(category.first, QString::fromUtf8(row.question),
                               QString::fromUtf8(row.answer));
                    facts_.questions << withoutLeadingBlanks(QString::fromUtf8(row.question));
                    facts_.answers << LetterCase::upper(withoutLeadingBlanks(QString::fromUtf8(row.answer)));
                }
            }
            qint64 score = 0;
            const QList<QPair<QString, int>> scores = {
                {QStringLiteral("ANNA"), 4},
                {QStringLiteral("BOB"), 12},
                {QStringLiteral("O'BRIEN"), 3},
                {QStringLiteral("ROBERT'); DROP TABLE PSYSTEM;--"), 1}};
            for (const auto& player : scores) {
                for (int i = 0; i < player.second; ++i)
                    db.scoreCorrectAnswer(player.first, &score);
            }
            db.listCategories(&facts_.categories);
        }
        {
            // A row the editor could never store: a question without an answer.
            QSqlDatabase raw =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz-template"));
            raw.setDatabaseName(folder() + QLatin1Char('/') + TriviaDatabase::fileName());
            raw.open();
            QSqlQuery(raw).exec(
                QStringLiteral("INSERT INTO ART (Questions, Answers) VALUES ('No answer?', NULL)"));
            digest_ = contentDigest(raw);
            raw.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fuzz-template"));
        QFile users(folder() + QLatin1Char('/') + UsersList::fileName());
        users.open(QIODevice::ReadOnly);
        usersBytes_ = users.readAll();
        facts_.authorized =
            QStringList{QStringLiteral("ANNA"), QStringLiteral("CARL"), QStringLiteral("O'BRIEN")};
        facts_.botNick = LetterCase::upper(kBotNick);
        facts_.pauseSecs = 1;
    }

    QTemporaryDir dir_;
    BotTextMatcher::Facts facts_;
    QByteArray digest_;
    QByteArray usersBytes_;
};

// One input's bot, fake desktop and checks.
class Session {
public:
    Session(const Template& base, bool revealAnswers, RoomLinesFuzz::Stats& stats)
        : base_(base), matcher_(base.facts()), stats_(stats),
          bot_(recorder_, pump_, base.workFolder(),
               {[](const QString&) {},
                [this](const QString& text, int number) {
                    fail(QStringLiteral("the program would end: %1 (%2)").arg(text).arg(number));
                }}) {
        GameTimings& timings = bot_.timings();
        timings.setAnswerSecs(10);
        timings.setNextQuestionSecs(static_cast<std::int16_t>(base.facts().pauseSecs));
        timings.setGiveAnswer(revealAnswers);
        checker_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz-checker"));
        checker_.setDatabaseName(base.workFolder() + QLatin1Char('/') + TriviaDatabase::fileName());
        checker_.open();
        scores_ = readScores(checker_);
        if (!bot_.link().findChatMainWindow() || !bot_.link().locateChatRoom())
            fail(QStringLiteral("the bot did not find the fake chat room"));
        recorder_.watchInputBox(bot_.link().inputBox());
        bot_.link().startReading(kBotNick);
        checkStep();
    }

    ~Session() {
        checker_.close();
        checker_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("fuzz-checker"));
    }

    const QString& failure() const { return failure_; }

    void record(const QByteArray& bytes) {
        const auto at = [&bytes](int i) {
            return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u;
        };
        const QString rest = Windows1252::decode(bytes.mid(1));
        const QString rest2 = Windows1252::decode(bytes.mid(3));
        switch (at(0) % 10) {
        case 0:
        case 1:
        case 2:
            say(kSpeakers.at(at(0) % 10), rest);
            break;
        case 3: {
            const qsizetype blank = rest.indexOf(QLatin1Char(' '));
            say(blank < 0 ? rest : rest.left(blank), blank < 0 ? QString() : rest.mid(blank + 1));
            break;
        }
        case 4:
            say(kSpeakers.at(at(1) % kSpeakers.size()), QStringLiteral("/msg ") + rest);
            break;
        case 5:
            ++stats_.commands;
            say(kSpeakers.at(at(2) % kSpeakers.size()), kCommands.at(at(1) % kCommands.size()) + rest2);
            break;
        case 6:
            for (unsigned i = 0; i <= at(1) % 16; ++i) {
                pump_.advance(BotClocks::ReaderTickMs * (at(2) + 1));
                bot_.clocks().runDue();
            }
            break;
        case 7:
            for (unsigned i = 0; i <= at(1) % 4; ++i) {
                pump_.advance(BotClocks::PauseTickMs);
                bot_.clocks().runDue();
            }
            break;
        case 8:
            sayAnswer(at(1), at(2), rest2);
            break;
        case 9:
            sayLong(at(1), bytes.mid(2));
            break;
        }
        checkStep();
    }

    void finish() {
        if (!failure_.isEmpty())
            return;
        if (contentDigest(checker_) != base_.digest())
            fail(QStringLiteral("a table other than Psystem, or the schema, changed"));
        QFile users(base_.workFolder() + QLatin1Char('/') + UsersList::fileName());
        if (!users.open(QIODevice::ReadOnly) || users.readAll() != base_.usersBytes())
            fail(QStringLiteral("the users file changed"));
        const QStringList allowed = {TriviaDatabase::fileName(), UsersList::fileName(),
                                     TriviaDatabase::fileName() + QStringLiteral("-wal"),
                                     TriviaDatabase::fileName() + QStringLiteral("-shm")};
        for (const QString& name :
             QDir(base_.workFolder())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            if (!allowed.contains(name))
                fail(QStringLiteral("a new file appeared in the program folder: %1").arg(name));
        }
    }

private:
    void tick() {
        pump_.advance(BotClocks::ReaderTickMs);
        bot_.clocks().runDue();
    }

    // A chatter's line and the reader tick that handles it. The bot's own last lines are read
    // first (a tick may itself say a hint or a time-out), or they and the chatter's line would
    // be judged as one text.
    void say(const QString& nick, const QString& text) {
        if (trace_)
            std::fprintf(stderr, "%s: %s\n", qPrintable(quoted(nick)), qPrintable(quoted(text.left(200))));
        for (int settle = 0; settle < 4; ++settle) {
            const qsizetype before = recorder_.said().size();
            tick();
            if (recorder_.said().size() == before)
                break;
        }
        desk_.say(nick, text);
        ++stats_.lines;
        tick();
    }

    void sayAnswer(unsigned who, unsigned form, const QString& junk) {
        const QString& current = bot_.session().answer();
        QString answer = current.isEmpty() ? QStringLiteral("PARIS") : current;
        switch (form % 4) {
        case 1:
            answer = answer.toLower();
            break;
        case 2:
            answer = junk + QLatin1Char(' ') + answer;
            break;
        case 3:
            answer += junk;
            break;
        default:
            break;
        }
        say(kSpeakers.at(who % kSpeakers.size()), answer);
    }

    // Up to 40000 characters: past the 16-bit positions of a text.
    void sayLong(unsigned size, const QByteArray& unit) {
        const qsizetype length = size >= 200 ? 40000 : 128 * qsizetype(size + 1);
        const QByteArray piece = unit.isEmpty() ? QByteArray("A") : unit;
        QByteArray bytes;
        bytes.reserve(length + piece.size());
        while (bytes.size() < length)
            bytes += piece;
        say(QStringLiteral("BOB"), Windows1252::decode(bytes.left(length)));
    }

    // Every new text of the bot is one of its own, and Psystem moved only by announced scores.
    void checkStep() {
        const BotTextMatcher::Scores after = readScores(checker_);
        BotTextMatcher::Scores expected = scores_;
        const QList<RecordingWindowApi::Said>& said = recorder_.said();
        for (; judged_ < said.size() && failure_.isEmpty(); ++judged_) {
            const RecordingWindowApi::Said& line = said.at(judged_);
            ++stats_.botTexts;
            if (trace_)
                std::fprintf(stderr, "bot: %s\n", qPrintable(quoted(line.text)));
            if (line.cutByNul) {
                ++stats_.cutByNul;
                continue;
            }
            if (!matcher_.matches(line.text, scores_, after)) {
                fail(QStringLiteral("the bot said a text of no template: %1").arg(quoted(line.text)));
                break;
            }
            const std::optional<BotTextMatcher::Correct> correct = matcher_.parseCorrect(line.text);
            if (!correct || !correct->score)
                continue;
            ++stats_.scored;
            const qint64 previous = expected.value(correct->nick, 0);
            if (*correct->score != previous + 1)
                fail(QStringLiteral("%1 announced with %2 after %3 points")
                         .arg(quoted(correct->nick))
                         .arg(*correct->score)
                         .arg(previous));
            expected.insert(correct->nick, *correct->score);
        }
        if (failure_.isEmpty() && expected != after)
            fail(QStringLiteral("Psystem changed without an announced correct answer: %1 -> %2")
                     .arg(describe(scores_), describe(after)));
        scores_ = after;
    }

    static QString quoted(const QString& text) {
        QString out;
        for (QChar c : text)
            out += c.unicode() < 0x20 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                      : QString(c);
        return QLatin1Char('"') + out.left(300) + QLatin1Char('"');
    }

    static QString describe(const BotTextMatcher::Scores& scores) {
        QStringList parts;
        for (auto it = scores.cbegin(); it != scores.cend(); ++it)
            parts << quoted(it.key()) + QLatin1Char('=') + QString::number(it.value());
        return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
    }

    void fail(const QString& text) {
        if (failure_.isEmpty())
            failure_ = text;
    }

    const Template& base_;
    BotTextMatcher matcher_;
    RoomLinesFuzz::Stats& stats_;
    FakeDesktop desk_{kBotNick};
    RecordingWindowApi recorder_{desk_.api()};
    // The input moves the clock; the engine's own ticks run when due, in a send's wait too.
    ManualEventPump pump_;
    QSqlDatabase checker_;
    BotTextMatcher::Scores scores_;
    qsizetype judged_ = 0;
    // PALVURO_FUZZ_TRACE=1 prints every line said, to follow a saved input by eye.
    const bool trace_ = qEnvironmentVariableIsSet("PALVURO_FUZZ_TRACE");
    QString failure_;
    TriviaBot bot_;
};

} // namespace

bool RoomLinesFuzz::run(const std::uint8_t* data, std::size_t size, QString* failure, Stats* stats) {
    FuzzApplication::ensure();
    Stats local;
    Stats& counts = stats ? *stats : local;
    ++counts.inputs;
    const Template& base = Template::get();
    if (!base.reset()) {
        *failure = QStringLiteral("could not lay out the program folder");
        return false;
    }
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        Session session(base, size % 2 == 1, counts);
        for (const QByteArray& bytes : input.split('\n')) {
            if (!session.failure().isEmpty())
                break;
            session.record(bytes);
        }
        session.finish();
        *failure = session.failure();
    }
    return failure->isEmpty();
}

int fuzzRoomLines(const std::uint8_t* data, std::size_t size) {
    QString failure;
    if (!RoomLinesFuzz::run(data, size, &failure)) {
        std::fprintf(stderr, "fuzz_room_lines: invariant broken: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}

} // namespace palvuro
