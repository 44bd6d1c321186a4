#pragma once

#include "tests/support/XvfbDisplay.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

namespace palvuro {

// One end-to-end run: the real programs as separate processes on a private X server, in a
// temporary folder of their own (desktop bus under XDG_RUNTIME_DIR, settings under
// XDG_CONFIG_HOME, a program folder holding a copy of palvuro-trivia, its Trivia.mdb and
// "Users List.txt"). Chatters speak through palvuro-chat's control input, the operator through
// the keyboard of the "Palvuro Trivia" window; the room is read back from the transcript.
//
// The room: ANNA and BOB may run games, CAT may not. Trivia.mdb holds Questions; a question is
// open for 4 s, the next comes PauseSecs after, and ART is the remembered category.
class E2eSession {
public:
    static constexpr const char* BotNick = "TRIVIA";
    static constexpr const char* TriviaTitle = "Palvuro Trivia";
    static constexpr const char* Questions = "category\tquestion\tanswer\n"
                                             "History\tWho was the first emperor of Rome?\tAugustus\n"
                                             "History\tIn which year did the Berlin Wall fall?\t1989\n"
                                             "Art\tWho painted the Mona Lisa?\tLeonardo\n";
    static constexpr int PauseSecs = 2;

    // One line of the transcript palvuro-chat writes: tab-separated milliseconds, kind, from,
    // to and text, with \r \n \t \\ escapes.
    struct Record {
        qint64 ms = 0;
        QString kind, from, to, text; // kind: "say", "msg", "notice", "expect-failed"
    };
    using Match = std::function<bool(const Record&)>;

    E2eSession();
    ~E2eSession();

    // Empty when the session can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // The program folder and settings, Xvfb, palvuro-chat, palvuro-trivia and the operator's
    // connect; false with error() when one of them failed.
    bool start();
    // Another palvuro-trivia like the one start() runs, in `process`.
    void launchTrivia(QProcess& process) const;

    QString error() const { return error_; }
    QString programFolder() const { return root_.path() + QStringLiteral("/program"); }
    const XvfbDisplay& display() const { return display_; }
    QProcess& trivia() { return trivia_; }
    quint64 triviaWindow() const { return triviaWindow_; }

    // The room so far, read afresh on every call: what the running client has flushed.
    QList<Record> records() const;
    int roomSize() const { return int(records().size()); }
    // The first record from index `from` on that matches, waiting up to timeoutMs while the
    // event loop runs. *index gets its position.
    std::optional<Record> waitFor(int from, const Match& match, int* index = nullptr,
                                  int timeoutMs = 30000) const;
    // Every record from index `from` on, one a line, for failure messages.
    QByteArray dump(int from = 0) const;

    // The bot's room line with exactly this text, or its private reply to `to` (the client
    // delivers "/msg NICK text" as text to NICK).
    static Match botSays(const QString& text, const QString& to = {});

    // NICK says TEXT, a pause after the line before it.
    void say(const QString& nick, const QString& text);
    // The operator focuses the main window and opens the File menu (alt+f); the keys pick an item.
    bool operatorMenu(const QStringList& keys);
    // An open menu is a second viewable window of the main window's title.
    bool menuOpen() const { return display_.windows(TriviaTitle).size() > 1; }

private:
    bool fail(const QString& why);
    bool prepareProgramFolder();
    QProcessEnvironment programEnvironment() const;
    bool startChat();
    bool startTrivia();
    bool connectBot();

    QTemporaryDir root_;
    QString transcript_;
    XvfbDisplay display_;
    QProcess chat_;
    QProcess trivia_;
    quint64 triviaWindow_ = 0;
    QString error_;
};

} // namespace palvuro
