#pragma once

#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <type_traits>

namespace palvuro {

// A server program a test starts in a temporary folder of its own: as nobody when the test runs
// as root (servers refuse root, and a test must not run one with root's rights), on free ports of
// 127.0.0.1, ended with the test. Each kind of server derives from it; killed and started again,
// a server keeps its ports, as a crashed and restarted one would.
class ServerProcess {
public:
    static constexpr const char* Host = "127.0.0.1";

    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Empty when PROGRAM can be started here, and given a certificate for TLS; otherwise why not
    // (for QSKIP).
    static QString cannotRun(const QString& program, const QString& package, bool tls = false);
    // A port nobody listens on right now; 0 when there is none.
    static quint16 freePort();
    // A self-signed certificate for 127.0.0.1 and localhost, and its key, both PEM.
    static bool makeCertificate(const QString& certFile, const QString& keyFile, QString* error);

    quint16 port(int index = 0) const { return ports_.value(index); }
    // The server's certificate, to be trusted as a CA by TLS clients.
    QString certificateFile() const { return path(QStringLiteral("cert.pem")); }
    // Ends it at once (SIGKILL): no goodbye reaches the clients.
    void kill();
    bool isRunning() const;
    // Everything the program wrote so far, on either channel.
    QString output();
    QString error() const { return error_; }

protected:
    QString folder() const { return folder_.path(); }
    QString path(const QString& name) const { return folder_.filePath(name); }
    bool fail(const QString& why);
    // What every server needs first: COUNT distinct free ports and, for TLS, a certificate
    // ("cert.pem") and its key ("key.pem") in the folder. Done once.
    bool prepare(int count, bool tls = false);
    // TEXT into the file NAME of the folder (its own folders made), with each "@KEY@" of FIELDS
    // filled in, then "@FOLDER@" and "@PORTn@" (prepare()'s ports); false with error() saying why.
    bool writeFile(const QString& name, QString text, const QHash<QString, QString>& fields = {});
    // Runs PROGRAM to its end in the folder as the user a server runs as; false with its output
    // in error() when it fails.
    bool runAsServerUser(const QString& program, const QStringList& args, int timeoutMs = 60000);
    // Starts PROGRAM in the folder, unless it runs, and waits until every port prepare() took
    // accepts connections.
    bool launch(const QString& program, const QStringList& args, int timeoutMs);
    void signal(int signal);
    // Sends SIGNAL and waits for the program to end; false when it does not in time.
    bool stop(int signal, int timeoutMs = 10000);
    // Waits until the program has written TEXT; false with error() saying so when it ended or
    // TIMEOUTMS passed first.
    bool waitForOutput(const QString& text, int timeoutMs);

private:
    // Starts PROGRAM in the folder, given to that user first.
    bool startAsServerUser(QProcess& process, const QString& program, const QStringList& args);

    QTemporaryDir folder_;
    QList<quint16> ports_;
    QProcess process_;
    QByteArray output_;
    QString error_;
};

} // namespace palvuro

// In a test function: skips the test, saying why, where SERVER's kind cannot run here, and fails
// it when SERVER does not start.
#define START_SERVER_OR_SKIP(server)                                                                         \
    do {                                                                                                     \
        const QString whyNot = std::remove_reference_t<decltype(server)>::cannotRun();                       \
        if (!whyNot.isEmpty())                                                                               \
            QSKIP(qPrintable(whyNot));                                                                       \
        QVERIFY2((server).start(), qPrintable((server).error()));                                            \
    } while (false)
