#include "chatclient/MembershipNotices.h"

namespace palvuro {

namespace {

constexpr int kNamesShown = 3;

// "ANNA has left the room", "ANNA, BOB and CAT have left the room", "ANNA, BOB, CAT and 7 more
// have left the room".
QString part(const QStringList& nicks, const QString& one, const QString& several) {
    if (nicks.isEmpty())
        return QString();
    if (nicks.size() == 1)
        return nicks.first() + QLatin1Char(' ') + one;
    const qsizetype shown = nicks.size() <= kNamesShown + 1 ? nicks.size() - 1 : kNamesShown;
    const QString names = nicks.mid(0, shown).join(QStringLiteral(", "));
    const QString rest =
        nicks.size() - shown == 1 ? nicks.last() : QStringLiteral("%1 more").arg(nicks.size() - shown);
    return names + QStringLiteral(" and ") + rest + QLatin1Char(' ') + several;
}

} // namespace

MembershipNotices::MembershipNotices(int windowMs, Show show, QObject* parent)
    : QObject(parent), windowMs_(windowMs), show_(std::move(show)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &MembershipNotices::flush);
}

void MembershipNotices::joined(const QString& nick) {
    joined_ << nick;
    arrived();
}

void MembershipNotices::left(const QString& nick) {
    left_ << nick;
    arrived();
}

void MembershipNotices::renamed(const QString& oldNick, const QString& newNick) {
    renamed_ << oldNick + QStringLiteral(" is now known as ") + newNick;
    arrived();
}

void MembershipNotices::kicked(const QString& nick, const QString& by) {
    kicked_ << nick + QStringLiteral(" was kicked by ") + by;
    arrived();
}

void MembershipNotices::arrived() {
    if (timer_.isActive())
        return;
    const bool quiet = !sinceShown_.isValid() || sinceShown_.elapsed() >= windowMs_;
    if (quiet)
        flush();
    else
        timer_.start(static_cast<int>(windowMs_ - sinceShown_.elapsed()));
}

void MembershipNotices::flush() {
    const QString line = summary(std::exchange(joined_, {}), std::exchange(left_, {}),
                                 std::exchange(renamed_, {}), std::exchange(kicked_, {}));
    if (line.isEmpty())
        return;
    sinceShown_.start();
    show_(line);
}

QString MembershipNotices::summary(const QStringList& joined, const QStringList& left,
                                   const QStringList& renamed, const QStringList& kicked) {
    QStringList parts;
    parts << part(joined, QStringLiteral("has joined the room"), QStringLiteral("have joined the room"));
    parts << part(left, QStringLiteral("has left the room"), QStringLiteral("have left the room"));
    if (renamed.size() == 1)
        parts << renamed.first();
    else if (!renamed.isEmpty())
        parts << QStringLiteral("%1 chatters changed their nicks").arg(renamed.size());
    if (kicked.size() == 1)
        parts << kicked.first();
    else if (!kicked.isEmpty())
        parts << QStringLiteral("%1 chatters were kicked").arg(kicked.size());
    parts.removeAll(QString());
    return parts.join(QStringLiteral("; "));
}

} // namespace palvuro
