#pragma once

#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

namespace palvuro {

// One end-to-end run: palvuro-chat and palvuro-trivia as separate processes on a private X server,
// in a temporary folder of their own (desktop bus, settings, per-user data). The bot is either a
// copy in a program folder that also holds Trivia.mdb and "Users List.txt", or an installed one
// that keeps them in the per-user data folder. Chatters speak through palvuro-chat's control input, the
// operator at the keyboard through xdotool; the room is read back from the client's transcript.
// ANNA and BOB may run games, CAT may not; a question is open for 4 s, the next comes PauseSecs
// after, and ART is the remembered category.
class E2eSession {
public:
    static constexpr const char* BotNick = "TRIVIA";
    static constexpr const char* TriviaTitle = "Palvuro Trivia";
    static constexpr int PauseSecs = 2;

    struct Record {
        qint64 ms = 0;
        QString kind, from, to, text; // kind: "say", "msg", "notice", "expect-failed"
    };
    using Match = std::function<bool(const Record&)>;

    enum class Layout { CopiedBot, Installed };

    // HISTORY's questions and their answers, in every room and host the tests start.
    static const QHash<QString, QString>& answers();
    // FOLDER holds the bot's data as every room and host of the tests starts with it: ANNA and BOB
    // authorized, HISTORY with answers(), and the empty CATEGORIES besides.
    static bool fillDataFolder(const QString& folder, const QStringList& categories = {});

    // `binDir` holds the programs; by default the build's (PALVURO_BIN_DIR).
    explicit E2eSession(Layout layout = Layout::CopiedBot, const QString& binDir = {});
    ~E2eSession();

    // Before start(): arguments palvuro-chat gets besides its nick, script and transcript (an IRC
    // URL puts the room on a channel), how long a question stays open and the pause after it.
    void setChatArguments(const QStringList& arguments) { chatArguments_ = arguments; }
    void setTimings(int answerSecs, int pauseSecs) { answerSecs_ = answerSecs, pauseSecs_ = pauseSecs; }

    // Before start(): no display server at all. The programs run offscreen, and the bot, started
    // with --connect, connects by itself and logs what it does (botLog()).
    void setHeadless() { headless_ = true; }

    // Empty when the session can run here; otherwise why not (for QSKIP).
    static QString cannotRun(bool needsX = true);
    // Xvfb, palvuro-chat, palvuro-trivia and the operator's connect; false with error() on a failure.
    bool start();
    // The first and third of start()'s steps, for a bot that meets another client: the data
    // folder (and the X server), and the bot.
    bool prepare();
    bool startBot();
    // What a headless bot wrote to standard error.
    QString botLog() const;
    QString error() const { return error_; }
    // Where the bot keeps Trivia.mdb and "Users List.txt".
    QString dataFolder() const;
    QString dataHome() const { return root_.path() + QStringLiteral("/data"); } // XDG_DATA_HOME
    // XDG_RUNTIME_DIR: where the desktop bus of the session's programs is.
    QString runtimeDir() const { return root_.path() + QStringLiteral("/runtime"); }
    QProcess& trivia() { return trivia_; }

    // The room so far, read afresh on every call.
    QList<Record> records() const;
    int roomSize() const { return int(records().size()); }
    // The first record from index `from` on that matches, waiting while the event loop runs.
    std::optional<Record> waitFor(int from, const Match& match, int* index = nullptr,
                                  int timeoutMs = 30000) const;
    QByteArray dump(int from = 0) const; // for failure messages
    // The bot's room line with exactly this text, or its private reply to `to`.
    static Match botSays(const QString& text, const QString& to = {});
    void say(const QString& nick, const QString& text);

    // On the private X server: the first viewable top-level window titled exactly `title` (the
    // time-out is generous: under AddressSanitizer the programs start several times slower), the
    // input focus, xdotool key names ("alt+f", "Tab") pressed one after the other, text typed.
    static quint64 waitForWindow(const QString& title, int timeoutMs = 30000);
    static bool focus(quint64 window);
    static bool keys(const QStringList& names);
    static bool type(const QString& text);
    // The operator focuses the main window and opens the File menu (alt+f); the keys pick an item.
    bool operatorMenu(const QStringList& keys);

private:
    bool startChat();
    // Waits until the bot answers in the room.
    bool connectBot();
    bool fail(const QString& why);
    QString transcript() const { return root_.path() + QStringLiteral("/transcript.tsv"); }
    bool prepareDataFolder();
    QString botPath() const;
    bool startDisplay();
    // Standard error goes to `errorFile` when one is named.
    bool launch(QProcess& process, const QString& program, const QStringList& args,
                const QString& errorFile = {});

    QTemporaryDir root_;
    Layout layout_;
    QString binDir_, display_, error_;
    QStringList chatArguments_;
    int answerSecs_ = 4;
    int pauseSecs_ = PauseSecs;
    bool headless_ = false;
    QProcess xvfb_, chat_, trivia_;
    quint64 triviaWindow_ = 0;
};

} // namespace palvuro
