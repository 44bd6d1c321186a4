#include "irc/IrcRegistration.h"

#include "irc/IrcLog.h"
#include "irc/IrcNick.h"
#include "irc/IrcNumeric.h"
#include "irc/IrcSasl.h"
#include "irc/IrcText.h"

#include <algorithm>

namespace palvuro {
namespace {

// Until a server names our user@host we assume the longest it may be: a 10-character user
// name behind "~", a 63-character host, and the "!" and "@" between.
constexpr int kAssumedUserHostBytes = 1 + 11 + 1 + 63;
// RFC 1459's nick length, used until the server names its own.
constexpr int kDefaultNickLength = 9;
constexpr int kMaxNickAttempts = 50;

// The part of BYTES before the first C, or all of it.
QByteArray beforeFirst(const QByteArray& bytes, char c) {
    const qsizetype at = bytes.indexOf(c);
    return at < 0 ? bytes : bytes.left(at);
}

} // namespace

IrcRegistration::IrcRegistration(const IrcSessionConfig& config, IrcSendFunction send, QObject* parent)
    : QObject(parent), config_(config), send_(std::move(send)), nick_(config.nick),
      nickLength_(kDefaultNickLength) {
    connect(&nickRetryTimer_, &QTimer::timeout, this, &IrcRegistration::reclaimNick);
}

void IrcRegistration::reset() {
    registered_ = false;
    saslRunning_ = false;
    nickAttempt_ = 0;
    nick_ = wanted(); // a stand-in from the last connection may not be needed any more
    capsOffered_.clear();
    stopTimers();
}

void IrcRegistration::stopTimers() {
    nickRetryTimer_.stop();
}

void IrcRegistration::begin() {
    reset();
    send_("CAP", {QByteArrayLiteral("LS"), QByteArrayLiteral("302")});
    send_("NICK", {nick_.toUtf8()});
    send_("USER", {QByteArrayLiteral("palvuro"), QByteArrayLiteral("0"), QByteArrayLiteral("*"),
                   QByteArrayLiteral("Palvuro Trivia")});
}

bool IrcRegistration::isUs(const QByteArray& who) const {
    return IrcNick::same(nick_, who);
}

// Our nick as the server can hold it: a server with shorter nicks cuts ours down.
QString IrcRegistration::wanted() const {
    return nickLengthKnown_ ? config_.nick.left(nickLength_) : config_.nick;
}

bool IrcRegistration::usingStandIn() const {
    return registered_ && !IrcNick::same(wanted(), nick_.toUtf8());
}

int IrcRegistration::prefixBytes() const {
    const int ownBytes = static_cast<int>(nick_.toUtf8().size());
    return userHost_.isEmpty() ? std::max(ownBytes, nickLength_) + kAssumedUserHostBytes
                               : ownBytes + 1 + static_cast<int>(userHost_.size());
}

void IrcRegistration::handle(const IrcMessage& m) {
    if (const int numeric = m.numeric()) {
        handleNumeric(numeric, m);
        return;
    }
    if (m.command == "CAP")
        handleCap(m);
    else if (m.command == "AUTHENTICATE")
        handleAuthenticate(m);
    else if (m.command == "NICK")
        handleNick(m);
    else if (m.command == "QUIT" && IrcNick::same(wanted(), m.nick))
        reclaimNick();
}

void IrcRegistration::handleNumeric(int numeric, const IrcMessage& m) {
    switch (numeric) {
    case Numeric::RplWelcome:
        welcome(m);
        break;
    case Numeric::RplISupport:
        readSupport(m);
        break;
    case Numeric::RplVisibleHost:
        userHost_ = userHost_.left(userHost_.indexOf('@') + 1) + m.param(1);
        break;
    case Numeric::ErrErroneousNickname:
    case Numeric::ErrNicknameInUse:
    case Numeric::ErrNickCollision:
    case Numeric::ErrUnavailResource:
        nickRefused(m);
        break;
    case Numeric::RplLogOff:
    case Numeric::RplNowOff:
    case Numeric::RplMonOffline:
        if (namesWantedNick(m))
            reclaimNick();
        break;
    case Numeric::RplLoggedIn:
        qCInfo(lcIrc) << "logged in as" << config_.account;
        break;
    case Numeric::ErrNickLocked:
    case Numeric::RplSaslSuccess:
    case Numeric::ErrSaslFail:
    case Numeric::ErrSaslTooLong:
    case Numeric::ErrSaslAborted:
    case Numeric::ErrSaslAlready:
        finishSasl(numeric);
        break;
    case Numeric::RplSaslMechs:
        reportAccountFailure(IrcSasl::failureText(numeric, config_.account));
        break;
    default:
        break;
    }
}

void IrcRegistration::handleCap(const IrcMessage& m) {
    const QByteArray sub = m.param(1).toUpper();
    if (sub == "LS") {
        // "CAP * LS * :caps" continues on the next line, "CAP * LS :caps" is the last.
        const bool more = m.params.size() > 3 && m.param(2) == "*";
        for (const QByteArray& cap : m.lastParam().split(' '))
            capsOffered_.insert(beforeFirst(cap, '='));
        if (!more && !registered_)
            requestCaps();
    } else if (sub == "ACK") {
        const QList<QByteArray> acked = m.lastParam().split(' ');
        if (acked.contains("sasl") && !config_.account.isEmpty()) {
            saslRunning_ = true;
            send_("AUTHENTICATE", {QByteArrayLiteral("PLAIN")});
        } else if (!registered_) {
            send_("CAP", {QByteArrayLiteral("END")});
        }
    } else if (sub == "NAK") {
        if (m.lastParam().split(' ').contains("sasl"))
            reportAccountFailure(
                QStringLiteral("the server refused SASL for the account %1").arg(config_.account));
        if (!registered_)
            send_("CAP", {QByteArrayLiteral("END")});
    }
}

void IrcRegistration::requestCaps() {
    QList<QByteArray> wanted;
    if (capsOffered_.contains("message-tags"))
        wanted.append(QByteArrayLiteral("message-tags"));
    if (!config_.account.isEmpty()) {
        if (capsOffered_.contains("sasl"))
            wanted.append(QByteArrayLiteral("sasl"));
        else
            reportAccountFailure(
                QStringLiteral("the server offers no SASL: not logged in as %1").arg(config_.account));
    }
    if (wanted.isEmpty())
        send_("CAP", {QByteArrayLiteral("END")});
    else
        send_("CAP", {QByteArrayLiteral("REQ"), wanted.join(' ')});
}

void IrcRegistration::handleAuthenticate(const IrcMessage& m) {
    if (!saslRunning_ || m.param(0) != "+")
        return;
    for (const QByteArray& piece : IrcSasl::plainResponse(config_.account, config_.password))
        send_("AUTHENTICATE", {piece});
}

void IrcRegistration::reportAccountFailure(const QString& reason) {
    qCWarning(lcIrc) << reason;
    Q_EMIT failure(reason);
}

void IrcRegistration::finishSasl(int numeric) {
    if (!saslRunning_)
        return;
    saslRunning_ = false;
    const QString failed = IrcSasl::failureText(numeric, config_.account);
    if (!failed.isEmpty())
        reportAccountFailure(failed + QStringLiteral("; continuing without it"));
    if (!registered_)
        send_("CAP", {QByteArrayLiteral("END")});
}

void IrcRegistration::welcome(const IrcMessage& m) {
    registered_ = true;
    if (!m.param(0).isEmpty())
        nick_ = QString::fromUtf8(m.param(0));
    if (nickAttempt_ == 0 && nick_.size() < config_.nick.size() &&
        IrcNick::same(config_.nick.left(nick_.size()), nick_.toUtf8())) {
        qCWarning(lcIrc) << "the server cuts nicks to" << nick_.size() << "characters:" << nick_;
        nickLength_ = static_cast<int>(nick_.size());
        nickLengthKnown_ = true;
    }
    // Most servers end the welcome with our full prefix.
    const QByteArray last = m.lastParam().split(' ').last();
    const qsizetype bang = last.indexOf('!');
    if (bang > 0 && last.indexOf('@') > bang && IrcNick::same(nick_, last.left(bang)))
        userHost_ = last.mid(bang + 1);
    if (usingStandIn()) {
        qCWarning(lcIrc) << "the nick" << wanted() << "is taken; registered as" << nick_;
        Q_EMIT nickInUse(wanted(), nick_);
        nickRetryTimer_.start(config_.nickRetryMs);
    }
    Q_EMIT welcomed();
}

void IrcRegistration::nickRefused(const IrcMessage& m) {
    if (registered_) {
        qCDebug(lcIrc) << "the nick" << wanted() << "is still taken";
        return;
    }
    if (++nickAttempt_ > kMaxNickAttempts) {
        Q_EMIT gaveUp(QStringLiteral("no free nick after %1 tries").arg(kMaxNickAttempts));
        return;
    }
    // Until the server names its nick length, the first stand-in may be one longer than
    // the wanted nick; a server that cuts it back refuses it, and the next ones fit nine.
    const int limit = nickLengthKnown_    ? nickLength_
                      : nickAttempt_ == 1 ? static_cast<int>(wanted().size()) + 1
                                          : kDefaultNickLength;
    nick_ = IrcNick::alternative(wanted(), nickAttempt_, limit);
    qCWarning(lcIrc) << "the server refused the nick" << IrcText::plain(m.param(1)) << "- trying" << nick_;
    send_("NICK", {nick_.toUtf8()});
}

void IrcRegistration::reclaimNick() {
    if (usingStandIn())
        send_("NICK", {wanted().toUtf8()});
}

void IrcRegistration::handleNick(const IrcMessage& m) {
    if (isUs(m.nick)) {
        nick_ = QString::fromUtf8(m.param(0));
        if (!usingStandIn())
            nickRetryTimer_.stop();
    } else if (IrcNick::same(wanted(), m.nick)) {
        reclaimNick();
    }
}

void IrcRegistration::readSupport(const IrcMessage& m) {
    for (const QByteArray& token : m.params.mid(1, m.params.size() - 2)) {
        if (token.startsWith("NICKLEN=")) {
            nickLength_ = std::clamp(token.mid(8).toInt(), 1, 512);
            nickLengthKnown_ = true;
        } else if (token == "MONITOR" || token.startsWith("MONITOR=")) {
            watchNick("MONITOR");
        } else if (token == "WATCH" || token.startsWith("WATCH=")) {
            watchNick("WATCH");
        }
    }
}

// The server tells us the moment the holder of our nick leaves, wherever they are.
void IrcRegistration::watchNick(const QByteArray& command) {
    if (!usingStandIn())
        return;
    if (command == "MONITOR")
        send_(command, {QByteArrayLiteral("+"), wanted().toUtf8()});
    else
        send_(command, {'+' + wanted().toUtf8()});
}

// MONITOR lists "nick!user@host" or bare nicks, separated by commas; WATCH names one nick.
bool IrcRegistration::namesWantedNick(const IrcMessage& m) const {
    if (IrcNick::same(wanted(), m.param(1)))
        return true;
    const QList<QByteArray> entries = m.lastParam().split(',');
    return std::any_of(entries.cbegin(), entries.cend(), [this](const QByteArray& entry) {
        return IrcNick::same(wanted(), beforeFirst(entry, '!'));
    });
}

} // namespace palvuro
