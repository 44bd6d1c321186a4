#include "irc/IrcChannel.h"

#include "irc/IrcLog.h"
#include "irc/IrcNumeric.h"
#include "irc/IrcText.h"

#include <algorithm>

namespace palvuro {
namespace {

QString text(const QByteArray& bytes) {
    return IrcText::plain(bytes);
}

} // namespace

IrcChannel::IrcChannel(const IrcSessionConfig& config, const IrcRegistration& registration,
                       IrcSendFunction send, QObject* parent)
    : QObject(parent), config_(config), registration_(registration), send_(std::move(send)),
      rejoinTimer_(config.clock) {
    connect(&rejoinTimer_, &IrcTimer::timeout, this, &IrcChannel::join);
}

void IrcChannel::join() {
    if (registration_.registered())
        send_("JOIN", {config_.channel.toUtf8()});
}

void IrcChannel::forget() {
    namesArriving_.clear();
    if (users_.isEmpty())
        return;
    users_.clear();
    Q_EMIT usersChanged();
}

void IrcChannel::stopTimers() {
    rejoinTimer_.stop();
}

bool IrcChannel::isChannel(const QByteArray& target) const {
    return registration_.names().same(config_.channel, target);
}

QStringList IrcChannel::users() const {
    QStringList out;
    for (const QByteArray& user : users_)
        out.append(text(user));
    return out;
}

void IrcChannel::handle(const IrcMessage& m) {
    if (const int numeric = m.numeric())
        handleNumeric(numeric, m);
    else if (m.command == "JOIN")
        handleJoin(m);
    else if (m.command == "PART")
        handlePart(m);
    else if (m.command == "QUIT")
        handleQuit(m);
    else if (m.command == "KICK")
        handleKick(m);
    else if (m.command == "NICK")
        handleNick(m);
}

void IrcChannel::handleNumeric(int numeric, const IrcMessage& m) {
    switch (numeric) {
    case Numeric::RplNamReply:
        collectNames(m);
        break;
    case Numeric::RplEndOfNames:
        namesComplete();
        break;
    case Numeric::ErrNoSuchChannel:
    case Numeric::ErrTooManyChannels:
    case Numeric::ErrChannelIsFull:
    case Numeric::ErrInviteOnlyChan:
    case Numeric::ErrBannedFromChan:
    case Numeric::ErrBadChannelKey:
    case Numeric::ErrNeedReggedNick:
        if (isChannel(m.param(1)))
            joinRefused(m);
        break;
    default:
        break;
    }
}

void IrcChannel::joinRefused(const IrcMessage& m) {
    const QString reason = QStringLiteral("cannot join %1: %2").arg(config_.channel, text(m.lastParam()));
    qCWarning(lcIrc) << reason;
    Q_EMIT failure(reason);
    rejoinTimer_.start(config_.rejoinDelayMs);
}

void IrcChannel::handleJoin(const IrcMessage& m) {
    if (!isChannel(m.param(0)))
        return;
    if (registration_.isUs(m.nick)) {
        rejoinTimer_.stop();
        Q_EMIT entered(m.user + '@' + m.host);
        return;
    }
    addUser(m.nick);
    Q_EMIT joined(text(m.nick));
}

void IrcChannel::handlePart(const IrcMessage& m) {
    if (!isChannel(m.param(0)))
        return;
    if (registration_.isUs(m.nick)) {
        leave();
        return;
    }
    removeUser(m.nick);
    Q_EMIT parted(text(m.nick), text(m.param(1)));
}

void IrcChannel::leave() {
    forget();
    rejoinTimer_.start(config_.rejoinDelayMs);
    Q_EMIT left();
}

void IrcChannel::handleQuit(const IrcMessage& m) {
    if (removeUser(m.nick))
        Q_EMIT quit(text(m.nick), text(m.param(0)));
}

void IrcChannel::handleKick(const IrcMessage& m) {
    if (!isChannel(m.param(0)))
        return;
    const QByteArray victim = m.param(1);
    Q_EMIT kicked(text(victim), text(m.nick), text(m.param(2)));
    if (registration_.isUs(victim)) {
        qCWarning(lcIrc) << "kicked from" << config_.channel << "by" << m.nick << "- joining again";
        leave();
    } else {
        removeUser(victim);
    }
}

void IrcChannel::handleNick(const IrcMessage& m) {
    const QByteArray renamed = m.param(0);
    const auto found = std::find_if(users_.begin(), users_.end(), [this, &m](const QByteArray& u) {
        return registration_.names().same(u, m.nick);
    });
    if (found == users_.end())
        return;
    *found = renamed;
    Q_EMIT usersChanged();
    Q_EMIT nickChanged(text(m.nick), text(renamed));
}

void IrcChannel::addUser(const QByteArray& who) {
    if (std::any_of(users_.cbegin(), users_.cend(),
                    [this, &who](const QByteArray& u) { return registration_.names().same(u, who); }))
        return;
    users_.append(who);
    Q_EMIT usersChanged();
}

bool IrcChannel::removeUser(const QByteArray& who) {
    const qsizetype removed =
        users_.removeIf([this, &who](const QByteArray& u) { return registration_.names().same(u, who); });
    if (removed)
        Q_EMIT usersChanged();
    return removed > 0;
}

void IrcChannel::collectNames(const IrcMessage& m) {
    if (m.params.size() < 4 || !isChannel(m.param(2)))
        return;
    for (const QByteArray& entry : m.lastParam().split(' ')) {
        const QByteArray who = registration_.names().withoutModes(entry);
        if (!who.isEmpty())
            namesArriving_.append(who);
    }
}

void IrcChannel::namesComplete() {
    users_ = std::exchange(namesArriving_, {});
    Q_EMIT usersChanged();
}

} // namespace palvuro
