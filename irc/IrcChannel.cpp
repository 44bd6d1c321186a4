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

// Whether a parameter reads back the same once written: a line drops what would break it.
bool writtenAsIs(const QByteArray& param) {
    return IrcMessage::parse(IrcMessage::make("PART", {param}).serialize()).param(0) == param;
}

} // namespace

IrcChannel::IrcChannel(const IrcSessionConfig& config, const IrcRegistration& registration,
                       IrcSendFunction send, QObject* parent)
    : QObject(parent), config_(config), registration_(registration), send_(std::move(send)),
      rejoinTimer_(config.clock), policy_(config.joinLimits) {
    connect(&rejoinTimer_, &IrcTimer::timeout, this, &IrcChannel::join);
}

void IrcChannel::join() {
    if (!registration_.registered())
        return;
    joining_ = true;
    if (config_.channelKey.isEmpty())
        send_("JOIN", {config_.channel.toUtf8()});
    else
        send_("JOIN", {config_.channel.toUtf8(), config_.channelKey});
}

void IrcChannel::forget() {
    // A new connection is a change that may mend any refusal.
    policy_.entered();
    joining_ = false;
    namesArriving_.clear();
    bansOnUs_.clear();
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
    else if (m.command == "INVITE")
        handleInvite(m);
    else if (m.command == "MODE")
        handleMode(m);
}

void IrcChannel::handleNumeric(int numeric, const IrcMessage& m) {
    switch (numeric) {
    case Numeric::RplNamReply:
        collectNames(m);
        break;
    case Numeric::RplEndOfNames:
        namesComplete();
        break;
    default:
        // Whatever the server has against our JOIN, it says so with an error naming the channel.
        if (joining_ && numeric >= 400 && numeric < 500 && isChannel(m.param(1)))
            joinRefused(numeric, m);
        break;
    }
}

void IrcChannel::joinRefused(int numeric, const IrcMessage& m) {
    joining_ = false;
    const int wait = policy_.refused(numeric);
    const QString reason = text(m.lastParam());
    qCWarning(lcIrc).nospace() << "cannot join " << config_.channel << " (" << numeric << "): " << reason
                               << "; trying again in " << wait / 1000 << " s";
    Q_EMIT failure(QStringLiteral("cannot join %1: %2").arg(config_.channel, reason));
    rejoinTimer_.start(wait);
    Q_EMIT outside(reason, wait);
}

// An invitation is what a person does to let us into an invite-only channel, or to tell us a
// ban is lifted: worth a JOIN at once, whatever the wait.
void IrcChannel::handleInvite(const IrcMessage& m) {
    if (!isChannel(m.param(1)) || !registration_.isUs(m.param(0)) || !rejoinTimer_.isActive())
        return;
    qCInfo(lcIrc) << m.nick << "invites us to" << config_.channel << "- joining";
    rejoinTimer_.stop();
    join();
}

void IrcChannel::handleMode(const IrcMessage& m) {
    if (!isChannel(m.param(0)))
        return;
    bool adding = true;
    int next = 2;
    for (const char mode : m.param(1)) {
        if (mode == '+' || mode == '-') {
            adding = mode == '+';
            continue;
        }
        if (!registration_.names().takesParameter(mode, adding))
            continue;
        const QByteArray parameter = m.param(next++);
        if (mode == 'b' && registration_.names().matches(parameter, registration_.fullName()))
            banChanged(parameter, adding);
    }
}

// A ban that covers us keeps us out after a kick: a JOIN into it would only be refused. It is
// lifted while we are still in, or we learn nothing more of it (a channel's modes reach only
// its members) until someone invites us or we get in.
void IrcChannel::banChanged(const QByteArray& mask, bool set) {
    if (set) {
        qCWarning(lcIrc) << "a ban on" << config_.channel << "covers us:" << mask.left(128);
        bansOnUs_.append(mask);
    } else {
        bansOnUs_.removeIf([&](const QByteArray& ban) { return registration_.names().same(ban, mask); });
    }
}

void IrcChannel::handleJoin(const IrcMessage& m) {
    if (!isChannel(m.param(0))) {
        // A server may forward a refused JOIN into a channel of its choosing: we never stay.
        if (!registration_.isUs(m.nick))
            return;
        if (!writtenAsIs(m.param(0))) {
            // Written back without its NUL, the name could be ours: better stay in a stray channel.
            qCWarning(lcIrc) << "the server put us in a channel whose name cannot be written back:"
                             << m.param(0).toHex().left(128);
            return;
        }
        qCWarning(lcIrc) << "the server put us in" << m.param(0) << "- leaving it";
        send_("PART", {m.param(0)});
        return;
    }
    if (registration_.isUs(m.nick)) {
        joining_ = false;
        bansOnUs_.clear();
        policy_.entered();
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
        leave(config_.joinLimits.kickRejoinMs);
        return;
    }
    removeUser(m.nick);
    Q_EMIT parted(text(m.nick), text(m.param(1)));
}

void IrcChannel::leave(int rejoinMs) {
    namesArriving_.clear();
    if (!users_.isEmpty()) {
        users_.clear();
        Q_EMIT usersChanged();
    }
    rejoinTimer_.start(rejoinMs);
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
        const bool banned = !bansOnUs_.isEmpty();
        int wait = policy_.kicked(IrcClock::now(config_.clock));
        if (banned)
            wait = std::max(wait, policy_.refused(Numeric::ErrBannedFromChan));
        qCWarning(lcIrc) << "kicked from" << config_.channel << "by" << m.nick << (banned ? "and banned" : "")
                         << "- joining again in" << wait / 1000 << "s";
        leave(wait);
        const QString why = QStringLiteral("kicked by %1 (%2)").arg(text(m.nick), text(m.param(2)));
        Q_EMIT outside(banned ? why + QStringLiteral(" and banned") : why, wait);
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
