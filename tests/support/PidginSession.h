#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <utility>

namespace palvuro {

// Pidgin from Debian for one test: a private X server, a private session bus with the
// accessibility bus it starts on demand, and Pidgin with GTK's accessibility module, set up
// (its accounts and buddy list written into a temporary home) to log in as NICK on the test
// IRC server at PORT and join CHANNEL by itself; or, given an XMPP login, to log in with it on
// the test XMPP server at PORT and join the group chat at the address CHANNEL as NICK.
class PidginSession {
public:
    struct XmppLogin {
        QString account; // user@domain
        QString password;
    };
    // The resource Pidgin's XMPP account binds: a second login with it takes Pidgin's place.
    static constexpr const char* XmppResource = "palvuro";
    PidginSession(quint16 port, const QString& channel, const QString& nick,
                  std::optional<XmppLogin> xmpp = std::nullopt);
    ~PidginSession();
    PidginSession(const PidginSession&) = delete;
    PidginSession& operator=(const PidginSession&) = delete;

    // Empty when Pidgin and the accessibility bus can run here; otherwise why not (for QSKIP).
    static QString cannotRun();
    // The X server, the session bus and Pidgin.
    bool start();
    bool startPidgin();
    // Pidgin ends as in a crash.
    void killPidgin();
    // A person's "Reconnect" in Pidgin's windows, asked of Pidgin over its own D-Bus service, for
    // an account that lost its connection: enabled again (Pidgin disables one whose error it
    // takes for fatal), unless it is on its way back.
    bool reconnectAccount();
    // Pidgin's conversations keep LINES lines: it drops the oldest hundred at a time beyond that.
    bool setScrollbackLines(int lines);
    // What a program needs to see Pidgin on the accessibility bus.
    QProcessEnvironment environment() const;
    QString error() const { return error_; }

private:
    bool fail(const QString& why);
    bool writeConfig();
    // The reply of one method of Pidgin's D-Bus service (a number as its text), or null.
    QString purple(const QString& method, const QStringList& arguments = {});
    QString account();
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    quint16 port_;
    QString channel_, nick_, display_, busAddress_, error_;
    std::optional<XmppLogin> xmpp_;
    QString protocol_, accountName_; // as Pidgin writes them
    QProcess xvfb_, bus_, pidgin_;
};

} // namespace palvuro
