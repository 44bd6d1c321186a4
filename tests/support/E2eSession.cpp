#include "tests/support/E2eSession.h"

#include "data/QuestionImporter.h"
#include "data/TriviaDatabase.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

namespace palvuro {

namespace {

// Generous: under AddressSanitizer the programs start several times slower.
constexpr int kWindowTimeoutMs = 30000;
constexpr int kProbeReplyMs = 6000;
constexpr int kConnectTimeoutMs = 45000;
constexpr int kStartAttempts = 3;

QString binDir() {
    return qEnvironmentVariable("PALVURO_BIN_DIR");
}

QString unescape(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        QChar c = field[i];
        if (c == '\\' && i + 1 < field.size()) {
            c = field[++i];
            c = c == 'r' ? QChar('\r') : c == 'n' ? QChar('\n') : c == 't' ? QChar('\t') : c;
        }
        out += c;
    }
    return out;
}

} // namespace

E2eSession::E2eSession() : transcript_(root_.path() + "/transcript.tsv") {
    for (const char* folder : {"/runtime", "/config", "/program"})
        QDir().mkdir(root_.path() + folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

E2eSession::~E2eSession() {
    XvfbDisplay::stop(trivia_);
    chat_.closeWriteChannel();
    XvfbDisplay::stop(chat_);
}

QString E2eSession::cannotRun() {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return QString(tool) + " is not installed";
    }
    for (const char* program : {"/palvuro-chat", "/palvuro-trivia"}) {
        if (!QFileInfo(binDir() + program).isExecutable())
            return QString(program) + " is not built in PALVURO_BIN_DIR " + binDir();
    }
    return {};
}

bool E2eSession::start() {
    if (!prepareProgramFolder())
        return false;
    // A chat client that cannot reach the fresh X server gets a new server: a shared machine
    // may have other X servers come and go meanwhile.
    for (int attempt = 1;; ++attempt) {
        QString why;
        if (!display_.start(&why))
            return fail(why);
        if (startChat())
            break;
        if (attempt == kStartAttempts || chat_.state() == QProcess::Running)
            return false;
        display_.stop();
    }
    return startTrivia() && connectBot();
}

bool E2eSession::prepareProgramFolder() {
    if (!QFile::copy(binDir() + "/palvuro-trivia", programFolder() + "/palvuro-trivia"))
        return fail("cannot copy palvuro-trivia into " + programFolder());
    TriviaDatabase db(programFolder());
    QByteArray tsv(Questions);
    QBuffer in(&tsv);
    in.open(QIODevice::ReadOnly);
    const QuestionImporter::Summary summary = QuestionImporter(db).import(in);
    if (summary.outcome != QuestionImporter::Outcome::Done || summary.linesSkipped != 0)
        return fail("question import: " + summary.text() + summary.failure);
    QFile users(programFolder() + "/Users List.txt");
    if (!users.open(QIODevice::WriteOnly) || users.write("\"ANNA\"\r\n\"BOB\"\r\n") < 0)
        return fail("cannot write " + users.fileName());

    QSettings store(root_.path() + "/config/Quorvex.conf", QSettings::IniFormat);
    store.setValue("Give/Answer", "4");
    store.setValue("Give/AnswerCheck", "0");
    store.setValue("Get/Question", QString::number(PauseSecs));
    store.setValue("Get/Category", "ART");
    return true;
}

QProcessEnvironment E2eSession::programEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The test itself runs offscreen; the programs show real windows on the private server.
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    env.insert("DISPLAY", display_.name());
    env.insert("XDG_RUNTIME_DIR", root_.path() + "/runtime");
    env.insert("XDG_CONFIG_HOME", root_.path() + "/config");
    return env;
}

bool E2eSession::startChat() {
    chat_.setProcessEnvironment(programEnvironment());
    chat_.setProcessChannelMode(QProcess::ForwardedChannels);
    chat_.start(binDir() + "/palvuro-chat",
                {"--nick", BotNick, "--script", "-", "--transcript", transcript_});
    if (!chat_.waitForStarted())
        return fail("palvuro-chat did not start: " + chat_.errorString());
    chat_.write("join ANNA\njoin BOB\njoin CAT\n");
    const QDeadlineTimer deadline(kWindowTimeoutMs);
    while (display_.waitForWindow("Palvuro 2.0", 250) == 0) {
        if (chat_.state() == QProcess::NotRunning || deadline.hasExpired())
            return fail("the chat window did not appear on " + display_.name());
    }
    return true;
}

void E2eSession::launchTrivia(QProcess& process) const {
    process.setProcessEnvironment(programEnvironment());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setWorkingDirectory(root_.path());
    process.start(programFolder() + "/palvuro-trivia", {});
}

bool E2eSession::startTrivia() {
    launchTrivia(trivia_);
    if (!trivia_.waitForStarted())
        return fail("palvuro-trivia did not start: " + trivia_.errorString());
    triviaWindow_ = display_.waitForWindow(TriviaTitle, kWindowTimeoutMs);
    return triviaWindow_ != 0 || fail("the Palvuro Trivia window did not appear");
}

bool E2eSession::connectBot() {
    // The nick box has the focus when the window opens; &Connect answers alt+c.
    if (!display_.focus(triviaWindow_) || !display_.type(BotNick) || !display_.keys({"alt+c"}))
        return fail("cannot type into the Palvuro Trivia window");
    // Lines said before the connect has marked the room as read are never answered, so probe
    // until a command is: each probe has a nick of its own, and only the reply to the latest
    // one ends the wait, so no late reply can follow.
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    for (int probe = 1; !deadline.hasExpired(); ++probe) {
        const QString nick = QStringLiteral("PROBE%1").arg(probe);
        const int mark = roomSize();
        say(nick, "!MYSCORE");
        if (waitFor(
                mark, [&nick](const Record& r) { return r.to == nick; }, nullptr, kProbeReplyMs))
            return true;
    }
    return fail("the bot never answered after the connect:\n" + dump());
}

QList<E2eSession::Record> E2eSession::records() const {
    QFile file(transcript_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    QList<Record> out;
    // The last piece is a record still being written, or the empty rest after the final LF.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QStringList f = lines[i].split('\t');
        if (f.size() == 5)
            out.append({f[0].toLongLong(), unescape(f[1]), unescape(f[2]), unescape(f[3]), unescape(f[4])});
    }
    return out;
}

std::optional<E2eSession::Record> E2eSession::waitFor(int from, const Match& match, int* index,
                                                      int timeoutMs) const {
    std::optional<Record> found;
    const auto look = [&] {
        const QList<Record> all = records();
        for (int i = from; i < all.size() && !found; ++i) {
            if (match(all[i])) {
                found = all[i];
                if (index)
                    *index = i;
            }
        }
        return found.has_value();
    };
    return QTest::qWaitFor(look, timeoutMs) ? found : std::nullopt;
}

QByteArray E2eSession::dump(int from) const {
    const QList<Record> all = records();
    QString out;
    for (int i = from; i < all.size(); ++i) {
        const Record& r = all[i];
        const QString text = QString(r.text).replace("\r\n", " | ");
        out += QStringLiteral("  [%1] %2ms %3 %4>%5: %6\n").arg(i).arg(r.ms).arg(r.kind, r.from, r.to, text);
    }
    return out.toUtf8();
}

E2eSession::Match E2eSession::botSays(const QString& text, const QString& to) {
    return [text, to](const Record& r) {
        return r.kind == (to.isEmpty() ? "say" : "msg") && r.from == BotNick && r.to == to && r.text == text;
    };
}

void E2eSession::say(const QString& nick, const QString& text) {
    // The bot judges every line that arrives within one reader tick as one text; a pause before
    // each line keeps a chatter's line apart from the one before it.
    chat_.write("wait 250\nsay " + nick.toUtf8() + ' ' + text.toUtf8() + '\n');
    chat_.waitForBytesWritten(5000);
}

bool E2eSession::operatorMenu(const QStringList& keys) {
    return display_.focus(triviaWindow_) && display_.keys({"alt+f"}) &&
           XvfbDisplay::poll([this] { return menuOpen(); }, 10000) && display_.keys(keys);
}

bool E2eSession::fail(const QString& why) {
    error_ = why;
    return false;
}

} // namespace palvuro
