#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace palvuro {

// A server program a test starts in its own temporary folder: as nobody when the test runs as
// root (servers refuse root, and a test must not run one with root's rights), on free ports of
// 127.0.0.1, ended with the test.
class ServerProcess {
public:
    static constexpr const char* Host = "127.0.0.1";

    ServerProcess();
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Empty when PROGRAM can be started here; otherwise why not (for QSKIP).
    static QString cannotRun(const QString& program, const QString& package);
    // A port nobody listens on right now; 0 when there is none.
    static quint16 freePort();
    static bool accepts(quint16 port);
    // A self-signed certificate for 127.0.0.1 and localhost, and its key, both PEM.
    static bool makeCertificate(const QString& certFile, const QString& keyFile, QString* error);
    // What every server a test starts needs first: FOLDER exists, holds a certificate
    // ("cert.pem") and its key ("key.pem"), and *PORTS gets COUNT distinct free ports.
    static bool prepareFolder(const QTemporaryDir& folder, int count, QList<quint16>* ports, QString* error);
    // Gives FOLDER and everything in it to nobody, so a server started as nobody may use it.
    static bool giveToNobody(const QString& folder);
    // Runs PROGRAM to its end in FOLDER as the user a server runs as; false with its output in
    // `error` when it fails.
    static bool runAsServerUser(const QString& program, const QStringList& args, const QString& folder,
                                QString* error, int timeoutMs = 60000);

    // Starts PROGRAM in FOLDER and waits until every one of PORTS accepts connections.
    bool start(const QString& program, const QStringList& args, const QString& folder,
               const QList<quint16>& ports, int timeoutMs = 30000);
    void kill();
    void signal(int signal);
    // Sends SIGNAL and waits for the program to end; false when it does not in time.
    bool stop(int signal, int timeoutMs = 10000);
    bool isRunning() const;
    // Everything the program wrote so far, on either channel.
    QString output();
    // Waits until the program has written TEXT; false when it ended or TIMEOUTMS passed first.
    bool waitForOutput(const QString& text, int timeoutMs);
    QString error() const { return error_; }

private:
    QProcess process_;
    QByteArray output_;
    QString error_;
};

} // namespace palvuro
