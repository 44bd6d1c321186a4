#include "irc/IrcStsPolicies.h"

#include "irc/IrcLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace palvuro {
namespace {

// Host names are compared without case; '/' and '\' would be read as groups in the file.
QString keyFor(const QString& host) {
    QString key = host.toLower();
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    key.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QStringLiteral("sts/") + key;
}

} // namespace

std::optional<quint16> IrcStsPolicies::portFor(const QString& host) const {
    if (file_.isEmpty())
        return std::nullopt;
    const QSettings settings(file_, QSettings::IniFormat);
    const QStringList policy = settings.value(keyFor(host)).toStringList();
    bool portOk = false;
    bool untilOk = false;
    const uint port = policy.value(0).toUInt(&portOk);
    const qint64 until = policy.value(1).toLongLong(&untilOk);
    if (!portOk || !untilOk || port == 0 || port > 65535 || until < QDateTime::currentSecsSinceEpoch())
        return std::nullopt;
    return static_cast<quint16>(port);
}

void IrcStsPolicies::remember(const QString& host, quint16 port, qint64 seconds) const {
    if (file_.isEmpty())
        return;
    QDir().mkpath(QFileInfo(file_).path());
    QSettings settings(file_, QSettings::IniFormat);
    if (seconds <= 0) {
        settings.remove(keyFor(host));
    } else {
        const qint64 until = QDateTime::currentSecsSinceEpoch() + seconds;
        settings.setValue(keyFor(host), QStringList{QString::number(port), QString::number(until)});
    }
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcIrc) << "could not keep the TLS policy of" << host << "in" << file_;
}

} // namespace palvuro
