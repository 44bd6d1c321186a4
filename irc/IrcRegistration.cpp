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
      nickLength_(kDefaultNickLength), nickRetryTimer_(config.clock) {
    connect(&nickRetryTimer_, &IrcTimer::timeout, this, &IrcRegistration::reclaimNick);
}

void IrcRegistration::reset() {
    registered_ = false;
    saslRunning_ = false;
    loginSettled_ = false;
    capsSeen_ = false;
    negotiationEnded_ = false;
    nickAttempt_ = 0;
    nick_ = wanted(); // a stand-in from the last connection may not be needed any more
    names_ = IrcNameRules();
    offered_.clear();
    requested_.clear();
    enabled_.clear();
    stopTimers();
}

void IrcRegistration::stopTimers() {
    nickRetryTimer_.stop();
}

void IrcRegistration::begin() {
    reset();
    send_("CAP", {QByteArrayLiteral("LS"), QByteArrayLiteral("302")});
    if (!config_.serverPassword.isEmpty())
        send_("PASS", {config_.serverPassword});
    send_("NICK", {nick_.toUtf8()});
    send_("USER", {QByteArrayLiteral("palvuro"), QByteArrayLiteral("0"), QByteArrayLiteral("*"),
                   QByteArrayLiteral("Palvuro Trivia")});
}

bool IrcRegistration::isUs(const QByteArray& who) const {
    return names_.same(nick_, who);
}

// Our nick as the server can hold it: a server with shorter nicks cuts ours down.
QString IrcRegistration::wanted() const {
    return nickLengthKnown_ ? config_.nick.left(nickLength_) : config_.nick;
}

bool IrcRegistration::usingStandIn() const {
    return registered_ && !names_.same(wanted(), nick_.toUtf8());
}

QByteArray IrcRegistration::fullName() const {
    return nick_.toUtf8() + '!' + (userHost_.isEmpty() ? QByteArrayLiteral("*@*") : userHost_);
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
    else if (m.command == "QUIT" && names_.same(wanted(), m.nick))
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
        nickRefused(numeric, m);
        break;
    case Numeric::RplLogOff:
    case Numeric::RplNowOff:
    case Numeric::RplMonOffline:
        if (namesWantedNick(m))
            reclaimNick();
        break;
    case Numeric::RplLoggedIn:
        qCInfo(lcIrc) << "logged in as" << IrcText::plain(m.param(2));
        break;
    case Numeric::ErrNickLocked:
    case Numeric::RplSaslSuccess:
    case Numeric::ErrSaslFail:
    case Numeric::ErrSaslTooLong:
    case Numeric::ErrSaslAborted:
    case Numeric::ErrSaslAlready:
        finishSasl(numeric, m);
        break;
    case Numeric::RplSaslMechs:
        // Only a list of what the server offers; the failure (904) follows.
        break;
    default:
        break;
    }
}

void IrcRegistration::handleCap(const IrcMessage& m) {
    const QByteArray sub = m.param(1).toUpper();
    QList<QByteArray> caps = m.lastParam().split(' ');
    caps.removeAll(QByteArray());
    if (sub == "LS" || sub == "NEW") {
        // "CAP * LS * :caps" continues on the next line, "CAP * LS :caps" is the last.
        capsOffered(caps, sub == "LS" && m.params.size() > 3 && m.param(2) == "*");
    } else if (sub == "ACK") {
        acknowledged(caps);
    } else if (sub == "NAK") {
        refused(caps);
    } else if (sub == "DEL") {
        for (const QByteArray& cap : std::as_const(caps)) {
            qCInfo(lcIrc) << "the server withdrew the capability" << IrcText::plain(cap);
            offered_.remove(cap);
            enabled_.remove(cap);
        }
    }
}

void IrcRegistration::capsOffered(const QList<QByteArray>& caps, bool more) {
    capsSeen_ = true;
    for (const QByteArray& cap : caps) {
        const qsizetype eq = cap.indexOf('=');
        offered_.insert(beforeFirst(cap, '='), eq < 0 ? QByteArray() : cap.mid(eq + 1));
    }
    if (more || followSts())
        return;
    if (offered_.contains("message-tags") && !enabled_.contains("message-tags"))
        request(QByteArrayLiteral("message-tags"));
    if (registered_)
        return; // a login belongs to registration
    if (wantsLogin()) {
        const QByteArray mechanisms = offered_.value("sasl");
        if (!offered_.contains("sasl")) {
            noLoginOffered();
            if (!config_.allowUnauthenticated)
                return;
        } else if (!mechanisms.isEmpty() && !mechanisms.split(',').contains(mechanism()))
            loginFailed(IrcSasl::failureText(Numeric::RplSaslMechs, config_.account, config_.clientCertFile));
        else
            request(QByteArrayLiteral("sasl"));
    }
    endNegotiation();
}

// A server that wants TLS says so in its "sts" capability: on a plain connection, the port to
// go to; on a TLS one, how long to keep coming back over TLS.
bool IrcRegistration::followSts() {
    if (!offered_.contains("sts"))
        return false;
    QHash<QByteArray, QByteArray> policy;
    for (const QByteArray& pair : offered_.value("sts").split(',')) {
        const qsizetype eq = pair.indexOf('=');
        policy.insert(beforeFirst(pair, '='), eq < 0 ? QByteArray() : pair.mid(eq + 1));
    }
    bool ok = false;
    if (!config_.tls) {
        const uint port = policy.value("port").toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return false;
        Q_EMIT upgradeToTls(static_cast<quint16>(port));
        return true;
    }
    const qint64 seconds = policy.value("duration").toLongLong(&ok);
    if (ok && seconds >= 0)
        Q_EMIT keepTls(seconds);
    return false;
}

// One capability a line: a server that refuses one refuses the whole line.
void IrcRegistration::request(const QByteArray& cap) {
    if (requested_.contains(cap))
        return;
    requested_.insert(cap);
    send_("CAP", {QByteArrayLiteral("REQ"), cap});
}

void IrcRegistration::acknowledged(const QList<QByteArray>& caps) {
    for (const QByteArray& cap : caps) {
        requested_.remove(cap);
        enabled_.insert(cap);
        if (cap == "sasl" && wantsLogin() && !registered_) {
            saslRunning_ = true;
            send_("AUTHENTICATE", {mechanism()});
        }
    }
    endNegotiation();
}

void IrcRegistration::refused(const QList<QByteArray>& caps) {
    for (const QByteArray& cap : caps) {
        requested_.remove(cap);
        qCInfo(lcIrc) << "the server refused the capability" << IrcText::plain(cap);
        if (cap == "sasl" && wantsLogin())
            loginFailed(QStringLiteral("the server refused SASL"));
    }
    endNegotiation();
}

void IrcRegistration::endNegotiation() {
    if (registered_ || negotiationEnded_ || saslRunning_ || !requested_.isEmpty())
        return;
    negotiationEnded_ = true;
    send_("CAP", {QByteArrayLiteral("END")});
}

QString IrcRegistration::loginRefusedWithoutTls() const {
    if (config_.tls || !wantsLogin())
        return QString();
    return config_.clientCertFile.isEmpty()
               ? QStringLiteral("the password of the account %1 would cross the network in plain text: "
                                "connect with ircs://")
                     .arg(config_.account)
               : QStringLiteral("the client certificate %1 needs a TLS connection: connect with ircs://")
                     .arg(config_.clientCertFile);
}

bool IrcRegistration::wantsLogin() const {
    return !config_.account.isEmpty() || !config_.clientCertFile.isEmpty();
}

// A client certificate is the account: the server knows it by its fingerprint.
QByteArray IrcRegistration::mechanism() const {
    return config_.clientCertFile.isEmpty() ? QByteArrayLiteral("PLAIN") : QByteArrayLiteral("EXTERNAL");
}

void IrcRegistration::handleAuthenticate(const IrcMessage& m) {
    if (!saslRunning_ || m.param(0) != "+")
        return;
    if (mechanism() == "EXTERNAL") {
        send_("AUTHENTICATE", {QByteArrayLiteral("+")});
        return;
    }
    for (const QByteArray& piece : IrcSasl::plainResponse(config_.account, config_.password))
        send_("AUTHENTICATE", {piece});
}

void IrcRegistration::finishSasl(int numeric, const IrcMessage& m) {
    if (!saslRunning_)
        return;
    saslRunning_ = false;
    const QString failed = IrcSasl::failureText(numeric, config_.account, config_.clientCertFile);
    if (failed.isEmpty()) {
        loginSettled_ = true;
    } else {
        const QString said = IrcText::plain(m.lastParam());
        loginFailed(said.isEmpty() ? failed : failed + QStringLiteral(" (") + said + QLatin1Char(')'));
    }
    endNegotiation();
}

// Carrying on as a guest could hand our channel to whoever holds the nick: only when allowed.
void IrcRegistration::loginFailed(const QString& reason) {
    saslRunning_ = false;
    if (std::exchange(loginSettled_, true))
        return;
    if (config_.allowUnauthenticated) {
        qCWarning(lcIrc) << reason << "- continuing without logging in";
        Q_EMIT failure(reason + QStringLiteral("; continuing without logging in"));
        return;
    }
    qCWarning(lcIrc) << reason;
    Q_EMIT fatal(reason);
}

// A network's services come and go, and while they are away its servers offer no login: a later
// connection may find them back. Going on as a guest is still only for those who allow it.
void IrcRegistration::noLoginOffered() {
    const QString reason = QStringLiteral("the server offers no SASL login (its services may be down)");
    if (config_.allowUnauthenticated) {
        loginFailed(reason);
        return;
    }
    qCWarning(lcIrc) << reason << "- trying again later";
    Q_EMIT failure(reason + QStringLiteral("; trying again later"));
    Q_EMIT loginUnavailable(reason);
}

void IrcRegistration::welcome(const IrcMessage& m) {
    registered_ = true;
    if (!m.param(0).isEmpty())
        nick_ = QString::fromUtf8(m.param(0));
    if (nickAttempt_ == 0 && nick_.size() < config_.nick.size() &&
        names_.same(config_.nick.left(nick_.size()), nick_.toUtf8())) {
        qCWarning(lcIrc) << "the server cuts nicks to" << nick_.size() << "characters:" << nick_;
        nickLength_ = static_cast<int>(nick_.size());
        nickLengthKnown_ = true;
    }
    // Most servers end the welcome with our full prefix.
    const QByteArray last = m.lastParam().split(' ').last();
    const qsizetype bang = last.indexOf('!');
    if (bang > 0 && last.indexOf('@') > bang && names_.same(nick_, last.left(bang)))
        userHost_ = last.mid(bang + 1);
    if (wantsLogin() && !capsSeen_)
        loginFailed(QStringLiteral("the server offers no SASL login"));
    if (usingStandIn()) {
        qCWarning(lcIrc) << "the nick" << wanted() << "is taken; registered as" << nick_;
        Q_EMIT nickInUse(wanted(), nick_);
        nickRetryTimer_.start(config_.nickRetryMs);
    }
    Q_EMIT welcomed();
}

void IrcRegistration::nickRefused(int numeric, const IrcMessage& m) {
    const QString reason = IrcText::plain(m.lastParam());
    if (numeric == Numeric::ErrErroneousNickname && names_.same(wanted(), m.param(1))) {
        // No stand-in or later attempt makes a nick the server cannot accept acceptable.
        nickRetryTimer_.stop();
        if (registered_) {
            qCWarning(lcIrc) << "the server does not accept the nick" << wanted() << "- keeping" << nick_;
            return;
        }
        Q_EMIT fatal(QStringLiteral("the server does not accept the nick %1: %2").arg(wanted(), reason));
        return;
    }
    if (registered_) {
        qCDebug(lcIrc) << "the nick" << wanted() << "is still taken";
        nickRetryTimer_.start(config_.nickRetryMs);
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
        if (!usingStandIn()) {
            nickRetryTimer_.stop();
        } else if (!nickRetryTimer_.isActive()) {
            // Renamed from outside (services enforcing a registered nick): take it back as we
            // would from any holder.
            qCWarning(lcIrc) << "renamed by the server to" << nick_;
            Q_EMIT nickInUse(wanted(), nick_);
            nickRetryTimer_.start(config_.nickRetryMs);
        }
    } else if (names_.same(wanted(), m.nick)) {
        reclaimNick();
    }
}

void IrcRegistration::readSupport(const IrcMessage& m) {
    for (const QByteArray& token : m.params.mid(1, m.params.size() - 2)) {
        names_.read(token);
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
    if (names_.same(wanted(), m.param(1)))
        return true;
    const QList<QByteArray> entries = m.lastParam().split(',');
    return std::any_of(entries.cbegin(), entries.cend(), [this](const QByteArray& entry) {
        return names_.same(wanted(), beforeFirst(entry, '!'));
    });
}

} // namespace palvuro
