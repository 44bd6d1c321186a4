#include "tests/support/E2eSession.h"

#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

namespace palvuro {

namespace {

// Generous: under AddressSanitizer the programs start several times slower.
constexpr int kWindowTimeoutMs = 30000;
constexpr int kProbeReplyMs = 6000;
constexpr int kConnectTimeoutMs = 45000;
constexpr int kMenuOpenMs = 5000;
constexpr int kStartAttempts = 3;

QString binDir() {
    return qEnvironmentVariable("PALVURO_BIN_DIR");
}

bool makePrivateFolder(const QString& path) {
    return QDir().mkpath(path) &&
           QFile::setPermissions(path,
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

E2eSession::E2eSession() {
    const QString base = root_.path();
    makePrivateFolder(base + QStringLiteral("/runtime"));
    makePrivateFolder(base + QStringLiteral("/config"));
    makePrivateFolder(base + QStringLiteral("/program"));
    transcript_.setPath(base + QStringLiteral("/transcript.tsv"));
}

E2eSession::~E2eSession() {
    stopProcess(trivia_);
    if (chat_.state() != QProcess::NotRunning)
        chat_.closeWriteChannel();
    stopProcess(chat_);
    display_.stop();
}

QString E2eSession::cannotRun() {
    const QString missing = XvfbDisplay::missingTools();
    if (!missing.isEmpty())
        return missing;
    for (const char* program : {"palvuro-chat", "palvuro-trivia"}) {
        if (!QFileInfo(binDir() + QLatin1Char('/') + QLatin1String(program)).isExecutable())
            return QStringLiteral("%1 is not built in PALVURO_BIN_DIR (%2)")
                .arg(QLatin1String(program), binDir());
    }
    return {};
}

QString E2eSession::programFolder() const {
    return root_.path() + QStringLiteral("/program");
}

QString E2eSession::usersFile() const {
    return programFolder() + QStringLiteral("/Users List.txt");
}

bool E2eSession::prepareProgramFolder(const QByteArray& questionsTsv, const QStringList& emptyCategories,
                                      const QStringList& users) {
    const QString program = programFolder() + QStringLiteral("/palvuro-trivia");
    if (!QFile::copy(binDir() + QStringLiteral("/palvuro-trivia"), program))
        return fail(QStringLiteral("cannot copy palvuro-trivia into ") + programFolder());

    TriviaDatabase db(programFolder());
    QuestionImporter importer(db);
    QByteArray tsv = questionsTsv;
    QBuffer in(&tsv);
    in.open(QIODevice::ReadOnly);
    const QuestionImporter::Summary summary = importer.import(in);
    if (summary.outcome != QuestionImporter::Outcome::Done || summary.linesSkipped != 0)
        return fail(QStringLiteral("question import: ") + summary.text() + summary.failure);
    for (const QString& name : emptyCategories) {
        if (db.createCategory(name) != DbStatus::Ok)
            return fail(QStringLiteral("cannot create the category ") + name);
    }

    QFile file(usersFile());
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write ") + usersFile());
    for (const QString& user : users)
        file.write('"' + user.toLatin1() + "\"\r\n");
    return true;
}

void E2eSession::writeSettings(const Settings& settings) {
    QSettings store(root_.path() + QStringLiteral("/config/Quorvex.conf"), QSettings::IniFormat);
    store.setValue(QStringLiteral("Give/Answer"), QString::number(settings.answerSecs));
    store.setValue(QStringLiteral("Give/AnswerCheck"),
                   settings.giveAnswer ? QStringLiteral("1") : QStringLiteral("0"));
    store.setValue(QStringLiteral("Get/Question"), QString::number(settings.pauseSecs));
    if (!settings.rememberedCategory.isEmpty())
        store.setValue(QStringLiteral("Get/Category"), settings.rememberedCategory);
    store.sync();
}

bool E2eSession::start(const QStringList& chatters) {
    // A chat client that cannot reach the fresh X server gets a new server: a shared machine
    // may have other X servers come and go meanwhile.
    for (int attempt = 1;; ++attempt) {
        QString why;
        if (!display_.start(&why))
            return fail(why);
        if (startChat(chatters))
            break;
        if (attempt == kStartAttempts || chat_.state() == QProcess::Running)
            return false;
        display_.stop();
    }
    return startTrivia() && connectBot();
}

QProcessEnvironment E2eSession::programEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The test itself runs offscreen; the programs show real windows on the private server.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), display_.name());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root_.path() + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root_.path() + QStringLiteral("/config"));
    return env;
}

bool E2eSession::startChat(const QStringList& chatters) {
    chat_.setProcessEnvironment(programEnvironment());
    chat_.setProcessChannelMode(QProcess::ForwardedChannels);
    chat_.start(binDir() + QStringLiteral("/palvuro-chat"),
                {QStringLiteral("--nick"), QLatin1String(BotNick), QStringLiteral("--script"),
                 QStringLiteral("-"), QStringLiteral("--transcript"), transcript_.path()});
    if (!chat_.waitForStarted())
        return fail(QStringLiteral("palvuro-chat did not start: ") + chat_.errorString());
    for (const QString& nick : chatters)
        chat(QStringLiteral("join ") + nick);
    const QDeadlineTimer deadline(kWindowTimeoutMs);
    while (display_.waitForWindow(QStringLiteral("Palvuro 2.0"), 250) == 0) {
        if (chat_.state() == QProcess::NotRunning || deadline.hasExpired())
            return fail(QStringLiteral("the chat window did not appear on ") + display_.name());
    }
    return true;
}

bool E2eSession::startTrivia() {
    trivia_.setProcessEnvironment(programEnvironment());
    trivia_.setProcessChannelMode(QProcess::ForwardedChannels);
    trivia_.setWorkingDirectory(root_.path());
    trivia_.start(programFolder() + QStringLiteral("/palvuro-trivia"), {});
    if (!trivia_.waitForStarted())
        return fail(QStringLiteral("palvuro-trivia did not start: ") + trivia_.errorString());
    triviaWindow_ = display_.waitForWindow(QLatin1String(TriviaTitle), kWindowTimeoutMs);
    if (triviaWindow_ == 0)
        return fail(QStringLiteral("the Palvuro Trivia window did not appear"));
    return true;
}

bool E2eSession::connectBot() {
    // The nick box has the focus when the window opens; &Connect answers alt+c.
    if (!display_.focus(triviaWindow_) || !display_.type(QLatin1String(BotNick)) ||
        !display_.keys({QStringLiteral("alt+c")}))
        return fail(QStringLiteral("cannot type into the Palvuro Trivia window"));
    // Lines said before the connect has marked the room as read are never answered, so probe
    // until a command is: each probe has a nick of its own, and only the reply to the latest
    // one ends the wait, so no late reply can follow.
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    for (int probe = 1; !deadline.hasExpired(); ++probe) {
        const QString nick = QStringLiteral("PROBE%1").arg(probe);
        const int mark = transcript_.size();
        say(nick, QStringLiteral("!MYSCORE"));
        const auto reply = transcript_.waitFor(
            mark,
            [&nick](const RoomTranscript::Record& r) {
                return r.kind == QLatin1String("msg") && r.to == nick;
            },
            kProbeReplyMs);
        if (reply)
            return true;
    }
    return fail(QStringLiteral("the bot never answered after the connect:\n") + transcript_.dump());
}

RoomTranscript::Match E2eSession::botSays(const QString& text) {
    return [text](const RoomTranscript::Record& r) {
        return r.kind == QLatin1String("say") && r.from == QLatin1String(BotNick) && r.text == text;
    };
}

RoomTranscript::Match E2eSession::botSaysStarting(const QString& prefix) {
    return [prefix](const RoomTranscript::Record& r) {
        return r.kind == QLatin1String("say") && r.from == QLatin1String(BotNick) &&
               r.text.startsWith(prefix);
    };
}

RoomTranscript::Match E2eSession::privateReply(const QString& to, const QString& text) {
    return [to, text](const RoomTranscript::Record& r) {
        return r.kind == QLatin1String("msg") && r.from == QLatin1String(BotNick) && r.to == to &&
               r.text == text;
    };
}

RoomTranscript::Match E2eSession::anyBotLine() {
    return [](const RoomTranscript::Record& r) { return r.from == QLatin1String(BotNick); };
}

void E2eSession::chat(const QString& line) {
    chat_.write(line.toUtf8() + '\n');
    chat_.waitForBytesWritten(5000);
}

void E2eSession::say(const QString& nick, const QString& text) {
    // The bot judges every line that arrives within one reader tick as one text; a pause before
    // each line keeps a chatter's line apart from the one before it.
    chat(QStringLiteral("wait %1").arg(LinePauseMs));
    chat(QStringLiteral("say ") + nick + QLatin1Char(' ') + text);
}

bool E2eSession::operatorKeys(const QStringList& keys) {
    return display_.focus(triviaWindow_) && display_.keys(keys);
}

bool E2eSession::operatorMenu(const QStringList& keys) {
    if (!operatorKeys({QStringLiteral("alt+f")}))
        return false;
    // The open menu is a second viewable window of the same title.
    const QDeadlineTimer deadline(kMenuOpenMs);
    while (display_.countViewable(QLatin1String(TriviaTitle)) < 2 && !deadline.hasExpired())
        QTest::qWait(50);
    return display_.keys(keys);
}

bool E2eSession::waitForTriviaEnd(int timeoutMs) {
    return trivia_.state() == QProcess::NotRunning || trivia_.waitForFinished(timeoutMs);
}

bool E2eSession::fail(const QString& why) {
    error_ = why;
    return false;
}

void E2eSession::stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace palvuro
