#pragma once

#include <QString>

#include <optional>

namespace palvuro {

// A database server and one database on it, as a postgresql:// URL names them:
// postgresql://[USER@]HOST[:PORT]/DBNAME, or postgresql:///DBNAME?host=/socket/folder for a
// server on this machine. The password never comes from here: the client library finds it in
// ~/.pgpass, the file PGPASSFILE names, or a service file, so that it shows in no command line
// and no log.
class ServerAddress {
public:
    static bool isUrl(const QString& text);
    // The forms an address takes, for a program's --help.
    static QString forms();
    // std::nullopt with `error` saying why for anything else, a password included.
    static std::optional<ServerAddress> parse(const QString& url, QString* error);

    const QString& host() const { return host_; } // a name, an address or a socket folder
    int port() const { return port_; }            // -1: the client library's default
    const QString& user() const { return user_; }
    const QString& database() const { return database_; }
    const QString& service() const { return service_; }
    // The address as messages and logs show it.
    QString shown() const;

private:
    QString host_;
    int port_ = -1;
    QString user_;
    QString database_;
    QString service_;
};

} // namespace palvuro
