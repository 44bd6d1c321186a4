#pragma once

#include "tests/support/RoomTranscript.h"
#include "tests/support/XvfbDisplay.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace palvuro {

// One end-to-end run: the real programs as separate processes on a private X server, in a
// temporary folder of their own (desktop bus under XDG_RUNTIME_DIR, settings under
// XDG_CONFIG_HOME, a program folder holding a copy of palvuro-trivia, its Trivia.mdb and
// "Users List.txt"). Chatters speak through palvuro-chat's control input, the operator through
// the keyboard of the "Palvuro Trivia" window; the room is read back from the transcript.
class E2eSession {
public:
    static constexpr const char* BotNick = "TRIVIA";
    static constexpr const char* TriviaTitle = "Palvuro Trivia";
    static constexpr int LinePauseMs = 250;

    struct Settings {
        int answerSecs = 4;
        int pauseSecs = 2;
        bool giveAnswer = false;
        QString rememberedCategory; // the category editor's [Get] Category
    };

    E2eSession();
    ~E2eSession();
    E2eSession(const E2eSession&) = delete;
    E2eSession& operator=(const E2eSession&) = delete;

    // Empty when the session can run here; otherwise why not (for QSKIP).
    static QString cannotRun();

    // The program folder: palvuro-trivia, Trivia.mdb from `questionsTsv` (category, question,
    // answer lines) plus the empty categories named, and a users file authorizing `users`.
    bool prepareProgramFolder(const QByteArray& questionsTsv, const QStringList& emptyCategories,
                              const QStringList& users);
    void writeSettings(const Settings& settings);
    // Xvfb, palvuro-chat (the chatters joined), palvuro-trivia, and the operator's connect.
    bool start(const QStringList& chatters);

    QString error() const { return error_; }
    QString programFolder() const;
    QString usersFile() const;
    const RoomTranscript& transcript() const { return transcript_; }
    const XvfbDisplay& display() const { return display_; }
    QProcess& trivia() { return trivia_; }
    quint64 triviaWindow() const { return triviaWindow_; }

    // Records of the bot: a room line with exactly this text, one that begins so, a private
    // reply (the client delivers "/msg NICK text" as text to NICK), any line at all.
    static RoomTranscript::Match botSays(const QString& text);
    static RoomTranscript::Match botSaysStarting(const QString& prefix);
    static RoomTranscript::Match privateReply(const QString& to, const QString& text);
    static RoomTranscript::Match anyBotLine();

    // One control line for palvuro-chat ("say NICK TEXT", "join NICK", ...).
    void chat(const QString& line);
    // NICK says TEXT, LinePauseMs after the line before it.
    void say(const QString& nick, const QString& text);

    // The operator at the main window: focus it, then press the keys.
    bool operatorKeys(const QStringList& keys);
    // alt+f opens the File menu; then the keys pick an item.
    bool operatorMenu(const QStringList& keys);
    bool waitForTriviaEnd(int timeoutMs);

private:
    bool fail(const QString& why);
    QProcessEnvironment programEnvironment() const;
    bool startChat(const QStringList& chatters);
    bool startTrivia();
    bool connectBot();
    void stopProcess(QProcess& process);

    QTemporaryDir root_;
    XvfbDisplay display_;
    QProcess chat_;
    QProcess trivia_;
    RoomTranscript transcript_;
    quint64 triviaWindow_ = 0;
    QString error_;
};

} // namespace palvuro
