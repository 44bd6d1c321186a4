#include "data/ServerAddress.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace palvuro {

namespace {

constexpr int kMaxPort = 65535;

// A service name reaches the client library's connection string unquoted.
bool isServiceName(const QString& name) {
    static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    return word.match(name).hasMatch();
}

std::optional<ServerAddress> refuse(QString* error, const QString& why) {
    if (error)
        *error = why;
    return std::nullopt;
}

bool readPort(const QString& text, int* port) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > kMaxPort)
        return false;
    *port = value;
    return true;
}

} // namespace

bool ServerAddress::isUrl(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString ServerAddress::forms() {
    return QStringLiteral(
        "postgresql://[USER@]HOST[:PORT]/DBNAME, or postgresql:///DBNAME?host=/socket/folder");
}

std::optional<ServerAddress> ServerAddress::parse(const QString& url, QString* error) {
    if (!isUrl(url))
        return refuse(error, QStringLiteral("a database address starts with postgresql://"));
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid())
        return refuse(error,
                      QStringLiteral("the database address is not a valid URL")); // it may hold a password
    if (!parsed.password().isEmpty())
        return refuse(error, QStringLiteral("give no password in the database address: put it in ~/.pgpass, "
                                            "in the file PGPASSFILE names, or in a service file"));
    ServerAddress address;
    address.host_ = parsed.host();
    address.port_ = parsed.port(-1);
    address.user_ = parsed.userName();
    address.database_ = parsed.path().mid(1);
    const QUrlQuery query(parsed);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            address.host_ = value;
        else if (key == QLatin1String("user"))
            address.user_ = value;
        else if (key == QLatin1String("dbname"))
            address.database_ = value;
        else if (key == QLatin1String("port") && !readPort(value, &address.port_))
            return refuse(error, QStringLiteral("%1 is not a port number").arg(value));
        else if (key == QLatin1String("service") && !isServiceName(value))
            return refuse(error, QStringLiteral("%1 is not a service name").arg(value));
        else if (key == QLatin1String("service"))
            address.service_ = value;
        else if (key != QLatin1String("port"))
            return refuse(error, QStringLiteral("the database address knows no setting \"%1\"").arg(key));
    }
    if (address.database_.isEmpty() && address.service_.isEmpty())
        return refuse(error,
                      QStringLiteral("the database address names no database: postgresql://HOST/DBNAME"));
    return address;
}

QString ServerAddress::shown() const {
    const auto encoded = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    const bool socket = host_.startsWith(QLatin1Char('/'));
    QString text = QStringLiteral("postgresql://");
    if (!user_.isEmpty())
        text += encoded(user_) + QLatin1Char('@');
    if (!socket)
        text += host_.contains(QLatin1Char(':')) ? QLatin1Char('[') + host_ + QLatin1Char(']') : host_;
    if (port_ != -1)
        text += QLatin1Char(':') + QString::number(port_);
    text += QLatin1Char('/') + encoded(database_);
    QStringList query;
    if (socket)
        query << QStringLiteral("host=") + encoded(host_);
    if (!service_.isEmpty())
        query << QStringLiteral("service=") + service_;
    return query.isEmpty() ? text : text + QLatin1Char('?') + query.join(QLatin1Char('&'));
}

} // namespace palvuro
