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

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString unescape(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        QChar c = field[i];
        if (c == QLatin1Char('\\') && i + 1 < field.size()) {
            c = field[++i];
            c = c == QLatin1Char('r')   ? QLatin1Char('\r')
                : c == QLatin1Char('n') ? QLatin1Char('\n')
                : c == QLatin1Char('t') ? QLatin1Char('\t')
                                        : c;
        }
        out += c;
    }
    return out;
}

} // namespace

E2eSession::E2eSession() : transcript_(root_.path() + QStringLiteral("/transcript.tsv")) {
    for (const char* folder : {"/runtime", "/config", "/program"}) {
        const QString path = root_.path() + QLatin1String(folder);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

E2eSession::~E2eSession() {
    stopProcess(trivia_);
    if (chat_.state() != QProcess::NotRunning)
        chat_.closeWriteChannel();
    stopProcess(chat_);
}

QString E2eSession::cannotRun() {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    for (const char* program : {"palvuro-chat", "palvuro-trivia"}) {
        if (!QFileInfo(binDir() + QLatin1Char('/') + QLatin1String(program)).isExecutable())
            return QStringLiteral("%1 is not built in PALVURO_BIN_DIR (%2)")
                .arg(QLatin1String(program), binDir());
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
    if (!QFile::copy(binDir() + QStringLiteral("/palvuro-trivia"),
                     programFolder() + QStringLiteral("/palvuro-trivia")))
        return fail(QStringLiteral("cannot copy palvuro-trivia into ") + programFolder());
    TriviaDatabase db(programFolder());
    QByteArray tsv(Questions);
    QBuffer in(&tsv);
    in.open(QIODevice::ReadOnly);
    const QuestionImporter::Summary summary = QuestionImporter(db).import(in);
    if (summary.outcome != QuestionImporter::Outcome::Done || summary.linesSkipped != 0)
        return fail(QStringLiteral("question import: ") + summary.text() + summary.failure);
    QFile users(programFolder() + QStringLiteral("/Users List.txt"));
    if (!users.open(QIODevice::WriteOnly) || users.write("\"ANNA\"\r\n\"BOB\"\r\n") < 0)
        return fail(QStringLiteral("cannot write ") + users.fileName());

    QSettings store(root_.path() + QStringLiteral("/config/Quorvex.conf"), QSettings::IniFormat);
    store.setValue(QStringLiteral("Give/Answer"), QString::number(AnswerSecs));
    store.setValue(QStringLiteral("Give/AnswerCheck"), QStringLiteral("0"));
    store.setValue(QStringLiteral("Get/Question"), QString::number(PauseSecs));
    store.setValue(QStringLiteral("Get/Category"), QStringLiteral("ART"));
    return true;
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

bool E2eSession::startChat() {
    chat_.setProcessEnvironment(programEnvironment());
    chat_.setProcessChannelMode(QProcess::ForwardedChannels);
    chat_.start(binDir() + QStringLiteral("/palvuro-chat"),
                {"--nick", BotNick, "--script", "-", "--transcript", transcript_});
    if (!chat_.waitForStarted())
        return fail(QStringLiteral("palvuro-chat did not start: ") + chat_.errorString());
    chat_.write("join ANNA\njoin BOB\njoin CAT\n");
    const QDeadlineTimer deadline(kWindowTimeoutMs);
    while (display_.waitForWindow(QStringLiteral("Palvuro 2.0"), 250) == 0) {
        if (chat_.state() == QProcess::NotRunning || deadline.hasExpired())
            return fail(QStringLiteral("the chat window did not appear on ") + display_.name());
    }
    return true;
}

void E2eSession::launchTrivia(QProcess& process) const {
    process.setProcessEnvironment(programEnvironment());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setWorkingDirectory(root_.path());
    process.start(programFolder() + QStringLiteral("/palvuro-trivia"), {});
}

bool E2eSession::startTrivia() {
    launchTrivia(trivia_);
    if (!trivia_.waitForStarted())
        return fail(QStringLiteral("palvuro-trivia did not start: ") + trivia_.errorString());
    triviaWindow_ = display_.waitForWindow(QLatin1String(TriviaTitle), kWindowTimeoutMs);
    return triviaWindow_ != 0 || fail(QStringLiteral("the Palvuro Trivia window did not appear"));
}

bool E2eSession::connectBot() {
    // The nick box has the focus when the window opens; &Connect answers alt+c.
    if (!display_.focus(triviaWindow_) || !display_.type(QLatin1String(BotNick)) || !display_.keys({"alt+c"}))
        return fail(QStringLiteral("cannot type into the Palvuro Trivia window"));
    // Lines said before the connect has marked the room as read are never answered, so probe
    // until a command is: each probe has a nick of its own, and only the reply to the latest
    // one ends the wait, so no late reply can follow.
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    for (int probe = 1; !deadline.hasExpired(); ++probe) {
        const QString nick = QStringLiteral("PROBE%1").arg(probe);
        const int mark = roomSize();
        say(nick, QStringLiteral("!MYSCORE"));
        if (waitFor(
                mark, [&nick](const Record& r) { return r.to == nick; }, nullptr, kProbeReplyMs))
            return true;
    }
    return fail(QStringLiteral("the bot never answered after the connect:\n") + dump());
}

QList<E2eSession::Record> E2eSession::records() const {
    QFile file(transcript_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<Record> out;
    // The last piece is a record still being written, or the empty rest after the final LF.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QStringList f = lines[i].split(QLatin1Char('\t'));
        if (f.size() == 5)
            out.append({f[0].toLongLong(), unescape(f[1]), unescape(f[2]), unescape(f[3]), unescape(f[4])});
    }
    return out;
}

std::optional<E2eSession::Record> E2eSession::waitFor(int from, const Match& match, int* index,
                                                      int timeoutMs) const {
    std::optional<Record> found;
    const bool seen = QTest::qWaitFor(
        [&] {
            const QList<Record> all = records();
            for (int i = from; i < all.size() && !found; ++i) {
                if (match(all[i])) {
                    found = all[i];
                    if (index)
                        *index = i;
                }
            }
            return found.has_value();
        },
        timeoutMs);
    return seen ? found : std::nullopt;
}

QByteArray E2eSession::dump(int from) const {
    const QList<Record> all = records();
    QString out;
    for (int i = from; i < all.size(); ++i) {
        const Record& r = all[i];
        out += QStringLiteral("  [%1] %2ms %3 %4>%5: %6\n")
                   .arg(i)
                   .arg(r.ms)
                   .arg(r.kind, r.from, r.to,
                        QString(r.text).replace(QLatin1String("\r\n"), QLatin1String(" | ")));
    }
    return out.toUtf8();
}

E2eSession::Match E2eSession::botSays(const QString& text, const QString& to) {
    return [text, to](const Record& r) {
        return r.kind == QLatin1String(to.isEmpty() ? "say" : "msg") && r.from == QLatin1String(BotNick) &&
               r.to == to && r.text == text;
    };
}

void E2eSession::say(const QString& nick, const QString& text) {
    // The bot judges every line that arrives within one reader tick as one text; a pause before
    // each line keeps a chatter's line apart from the one before it.
    chat_.write("wait 250\nsay " + nick.toUtf8() + ' ' + text.toUtf8() + '\n');
    chat_.waitForBytesWritten(5000);
}

bool E2eSession::operatorMenu(const QStringList& keys) {
    if (!display_.focus(triviaWindow_) || !display_.keys({"alt+f"}))
        return false;
    XvfbDisplay::poll([this] { return menuOpen(); }, 5000);
    return display_.keys(keys);
}

bool E2eSession::fail(const QString& why) {
    error_ = why;
    return false;
}

} // namespace palvuro
