#pragma once

#include "tests/support/ServerProcess.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace palvuro {

class InspIrcdServer;

// Real IRC services (Anope) linked to an InspIrcdServer, for one test: a NickServ and the
// SASL PLAIN and EXTERNAL logins of the accounts the test registers before start() (written
// into the services' own database, as if registered long ago).
class AnopeServices : public ServerProcess {
public:
    static QString cannotRun();
    // A client certificate and its key in one PEM file, as --tls-cert takes them; returns its
    // SHA-256 fingerprint as the server reports it (lower-case hex), empty on failure.
    static QByteArray makeClientCertificate(const QString& pemFile, QString* error);

    // The account NAME, whose nick is NAME too, logs in with PASSWORD and, unless FINGERPRINT
    // is empty, with the client certificate of that fingerprint. Before start().
    void addAccount(const QString& name, const QByteArray& password, const QByteArray& fingerprint = {});
    // Starts the services and waits until they have linked to IRCD.
    bool start(const InspIrcdServer& ircd, int timeoutMs = 20000);

private:
    bool writeDatabase();

    struct Account {
        QString name;
        QByteArray password;
        QByteArray fingerprint;
    };
    QList<Account> accounts_;
};

} // namespace palvuro
