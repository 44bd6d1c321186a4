#include "tests/support/E2eSession.h"

#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "tests/support/WaitUntil.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace palvuro {

namespace {

QString binDir() {
    return qEnvironmentVariable("PALVURO_BIN_DIR");
}

// Politely, then firmly.
void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// The transcript escapes backslash, CR, LF and tab. Split at the escaped backslashes first, so that
// a backslash before an "r" in the text is not taken for a CR.
QString unescape(const QString& field) {
    QStringList parts = field.split(QStringLiteral("\\\\"));
    for (QString& part : parts)
        part.replace(QStringLiteral("\\r"), "\r")
            .replace(QStringLiteral("\\n"), "\n")
            .replace(QStringLiteral("\\t"), "\t");
    return parts.join('\\');
}

// Each look at the X server starts a client: a pace that spares the machine.
constexpr int kLookStepMs = 50;

// An X client on the private server (DISPLAY names it): true when it ran and succeeded.
bool tool(const QString& program, const QStringList& args, QString* output = nullptr) {
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    const bool ok = process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return ok;
}

// The viewable children of the root window with this title. xwininfo lists them one a line,
// `0x20001b "Title": (...)`; xdotool's search misses the short-lived windows of pop-up menus.
QList<quint64> windows(const QString& title) {
    static const QRegularExpression child(QStringLiteral("^\\s*0x([0-9a-f]+) \"(.*?)\": "),
                                          QRegularExpression::MultilineOption);
    QString out, info;
    tool("xwininfo", {"-root", "-children"}, &out);
    QList<quint64> found;
    for (auto it = child.globalMatch(out); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const quint64 id = m.captured(1).toULongLong(nullptr, 16);
        if (m.captured(2) == title && tool("xwininfo", {"-id", QString::number(id)}, &info) &&
            info.contains("IsViewable"))
            found << id;
    }
    return found;
}

} // namespace

E2eSession::E2eSession(Layout layout, const QString& binDir)
    : layout_(layout), binDir_(binDir.isEmpty() ? palvuro::binDir() : binDir) {
    for (const char* folder : {"/runtime", "/config", "/program", "/data"})
        QDir().mkdir(root_.path() + folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

E2eSession::~E2eSession() {
    stop(trivia_);
    chat_.closeWriteChannel();
    stop(chat_);
    stop(xvfb_);
}

const QHash<QString, QString>& E2eSession::answers() {
    static const QHash<QString, QString> pairs{{"WHO WAS THE FIRST EMPEROR OF ROME?", "AUGUSTUS"},
                                               {"IN WHICH YEAR DID THE BERLIN WALL FALL?", "1989"}};
    return pairs;
}

bool E2eSession::fillDataFolder(const QString& folder, const QStringList& categories) {
    QDir().mkpath(folder);
    TriviaDatabase db(folder);
    bool stored = UsersList(folder).save({"ANNA", "BOB"});
    for (const QString& category : QStringList{"HISTORY"} + categories)
        stored = stored && db.createCategory(category) == DbStatus::Ok;
    for (auto it = answers().begin(); it != answers().end(); ++it)
        stored = stored && db.addPair("HISTORY", it.key(), it.value()) == DbStatus::Ok;
    return stored;
}

QString E2eSession::cannotRun(bool needsX) {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo"})
        if (needsX && QStandardPaths::findExecutable(tool).isEmpty())
            return QString(tool) + " is not installed";
    for (const char* program : {"/palvuro-chat", "/palvuro-trivia"})
        if (!QFileInfo(binDir() + program).isExecutable())
            return QString(program) + " is not built in PALVURO_BIN_DIR " + binDir();
    return {};
}

bool E2eSession::start() {
    return prepare() && startChat() && startBot() && connectBot();
}

bool E2eSession::prepare() {
    return prepareDataFolder() && (headless_ || startDisplay());
}

bool E2eSession::startChat() {
    if (!launch(chat_, binDir_ + "/palvuro-chat",
                QStringList{"--nick", BotNick, "--script", "-", "--transcript", transcript()} +
                    chatArguments_))
        return false;
    chat_.write("join ANNA\njoin BOB\njoin CAT\n");
    if (!headless_ && (!waitForWindow("Palvuro 2.0") || chat_.state() != QProcess::Running))
        return fail("the chat window did not appear on " + display_);
    return true;
}

bool E2eSession::startBot() {
    if (headless_) {
        return launch(trivia_, botPath(), {"--connect", BotNick}, root_.path() + "/bot.log");
    }
    if (!launch(trivia_, botPath(), {}))
        return false;
    triviaWindow_ = waitForWindow(TriviaTitle);
    return triviaWindow_ != 0 || fail("the Palvuro Trivia window did not appear");
}

QString E2eSession::botLog() const {
    QFile file(root_.path() + "/bot.log");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString E2eSession::dataFolder() const {
    return layout_ == Layout::Installed ? dataHome() + "/palvuro-trivia" : root_.path() + "/program";
}

QString E2eSession::botPath() const {
    return (layout_ == Layout::Installed ? binDir_ : root_.path() + "/program") + "/palvuro-trivia";
}

bool E2eSession::prepareDataFolder() {
    if (layout_ == Layout::CopiedBot && !QFile::copy(binDir_ + "/palvuro-trivia", botPath()))
        return fail("cannot copy palvuro-trivia into " + dataFolder());
    if (!fillDataFolder(dataFolder(), {"ART"}))
        return fail("cannot store the users, categories and questions in " + dataFolder());
    QSettings store(root_.path() + "/config/Quorvex.conf", QSettings::IniFormat);
    store.setValue("Give/Answer", QString::number(answerSecs_));
    store.setValue("Give/AnswerCheck", "0");
    store.setValue("Get/Question", QString::number(pauseSecs_));
    store.setValue("Get/Category", "ART");
    return true;
}

bool E2eSession::startDisplay() {
    // Xvfb takes a free display number itself, so parallel runs cannot race for one, and names
    // it once it accepts clients.
    xvfb_.setStandardErrorFile(QProcess::nullDevice());
    xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    QByteArray number;
    while (!number.endsWith('\n') && xvfb_.waitForReadyRead(20000))
        number += xvfb_.readAllStandardOutput();
    display_ = ':' + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", display_.toLatin1()); // for the programs and the X clients
    return number.endsWith('\n') || fail("Xvfb did not start: " + xvfb_.errorString());
}

// The programs show real windows on the private server (the test itself runs offscreen), with
// the session's desktop bus and settings.
bool E2eSession::launch(QProcess& process, const QString& program, const QStringList& args,
                        const QString& errorFile) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    env.insert("XDG_RUNTIME_DIR", root_.path() + "/runtime");
    env.insert("XDG_CONFIG_HOME", root_.path() + "/config");
    env.insert("XDG_DATA_HOME", dataHome());
    if (headless_) {
        // Nothing to draw on and no desktop services: the programs must find that out themselves.
        for (const char* name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(name);
        env.insert("QT_LOGGING_RULES", "palvuro.chat.info=true");
    }
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(errorFile.isEmpty() ? QProcess::ForwardedChannels
                                                      : QProcess::ForwardedOutputChannel);
    if (!errorFile.isEmpty())
        process.setStandardErrorFile(errorFile, QIODevice::Append);
    process.setWorkingDirectory(root_.path());
    process.start(program, args);
    return process.waitForStarted() || fail(program + " did not start: " + process.errorString());
}

bool E2eSession::connectBot() {
    // The nick box has the focus when the window opens; &Connect answers alt+c.
    if (!headless_ && (!focus(triviaWindow_) || !type(BotNick) || !keys({"alt+c"})))
        return fail("cannot type into the Palvuro Trivia window");
    // Lines said before the connect has marked the room as read are never answered, so probe
    // until a command is: each probe has a nick of its own, and only the reply to the latest
    // one ends the wait, so no late reply can follow.
    const QDeadlineTimer deadline(45000);
    for (int probe = 1; !deadline.hasExpired(); ++probe) {
        const QString nick = QStringLiteral("PROBE%1").arg(probe);
        const int mark = roomSize();
        say(nick, "!MYSCORE");
        if (waitFor(
                mark, [&nick](const Record& r) { return r.to == nick; }, nullptr, 6000))
            return true;
    }
    return fail("the bot never answered after the connect:\n" + dump());
}

QList<E2eSession::Record> E2eSession::records() const {
    QList<Record> out;
    QFile file(transcript());
    if (!file.open(QIODevice::ReadOnly))
        return out;
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
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
    return waitForItem<Record>([this] { return records(); }, from, match, index, timeoutMs, 10);
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

bool E2eSession::operatorMenu(const QStringList& names) {
    // An open menu is a second viewable window of the main window's title.
    const auto menuOpen = [] { return windows(TriviaTitle).size() > 1; };
    return focus(triviaWindow_) && keys({"alt+f"}) && waitUntil(menuOpen, 10000, kLookStepMs) && keys(names);
}

quint64 E2eSession::waitForWindow(const QString& title, int timeoutMs) {
    QList<quint64> found;
    waitUntil([&] { return !(found = windows(title)).isEmpty(); }, timeoutMs, kLookStepMs);
    return found.isEmpty() ? 0 : found.first();
}

bool E2eSession::focus(quint64 window) {
    const QString id = QString::number(window);
    QString out;
    return waitUntil(
        [&] {
            return tool("xdotool", {"windowfocus", id}) && tool("xdotool", {"getwindowfocus"}, &out) &&
                   out.trimmed() == id;
        },
        5000, kLookStepMs);
}

bool E2eSession::keys(const QStringList& names) {
    return tool("xdotool", QStringList{"key", "--delay", "60"} + names);
}

bool E2eSession::type(const QString& text) {
    return tool("xdotool", {"type", "--delay", "20", text});
}

bool E2eSession::fail(const QString& why) {
    error_ = why;
    return false;
}

} // namespace palvuro
