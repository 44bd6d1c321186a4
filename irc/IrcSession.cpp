#include "irc/IrcSession.h"

#include "irc/IrcCtcp.h"
#include "irc/IrcLineSplitter.h"
#include "irc/IrcLog.h"
#include "irc/IrcMessage.h"
#include "irc/IrcNick.h"
#include "irc/IrcSasl.h"
#include "irc/IrcText.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>

namespace palvuro {
namespace {

// A server's line is 512 bytes, its tags up to 8191 more; anything far longer is garbage.
constexpr qsizetype kMaxLineBytes = 16384;
// Until a server names our user@host we assume the longest it may be: a 10-character user
// name behind "~", a 63-character host, and the "!" and "@" between.
constexpr int kAssumedUserHostBytes = 1 + 11 + 1 + 63;
// RFC 1459's nick length, used until the server names its own.
constexpr int kDefaultNickLength = 9;
constexpr int kMaxNickAttempts = 50;
// How long a closing connection may take to deliver our QUIT.
constexpr int kQuitGraceMs = 2000;
const QByteArray kPrivmsg = QByteArrayLiteral("PRIVMSG");

// The part of BYTES before the first C, or all of it.
QByteArray beforeFirst(const QByteArray& bytes, char c) {
    const qsizetype at = bytes.indexOf(c);
    return at < 0 ? bytes : bytes.left(at);
}

QString text(const QByteArray& bytes) {
    return IrcText::plain(bytes);
}

} // namespace

struct IrcSession::Private {
    Private(IrcSession* session, IrcSessionConfig settings)
        : q(session), config(std::move(settings)), queue(config.pacing), backoff(config.backoff),
          nick(config.nick) {}

    IrcSession* q;
    IrcSessionConfig config;
    IrcSendQueue queue;
    IrcBackoff backoff;
    QElapsedTimer clock;
    QPointer<QSslSocket> socket;
    State state = State::Disconnected;
    bool running = false;
    bool lastAttemptRefused = false;
    bool registered = false;
    bool awaitingPong = false;
    bool discardingLine = false;
    QByteArray inbox;

    QString nick;
    int nickAttempt = 0;
    int nickLength = kDefaultNickLength;
    bool nickLengthKnown = false;
    QByteArray userHost; // "user@host" as the server shows us; empty until known
    QSet<QByteArray> capsOffered;
    bool saslRunning = false;

    QList<QByteArray> users; // in the server's order
    QList<QByteArray> namesArriving;

    QTimer watchdog;     // idle PING, then the PING's deadline
    QTimer attemptTimer; // connecting and registering must end in the welcome
    QTimer reconnectTimer;
    QTimer nickRetryTimer;
    QTimer rejoinTimer;
    QTimer pumpTimer;

    void setState(State next) {
        if (state == next)
            return;
        state = next;
        Q_EMIT q->stateChanged(next);
    }

    // --- connection

    void connectNow() {
        dropSocket();
        registered = false;
        saslRunning = false;
        awaitingPong = false;
        nickAttempt = 0;
        nick = wanted(); // a stand-in from the last connection may not be needed any more
        capsOffered.clear();
        inbox.clear();
        discardingLine = false;
        lastAttemptRefused = false;
        setState(State::Connecting);
        socket = new QSslSocket(q);
        QObject::connect(socket, &QSslSocket::connected, q, [this] {
            if (!config.tls)
                beginRegistration();
        });
        QObject::connect(socket, &QSslSocket::encrypted, q, [this] { beginRegistration(); });
        QObject::connect(socket, &QSslSocket::readyRead, q, [this] { readLines(); });
        QObject::connect(socket, &QSslSocket::disconnected, q,
                         [this] { connectionLost(QStringLiteral("the server closed the connection")); });
        QObject::connect(socket, &QSslSocket::errorOccurred, q, [this](QAbstractSocket::SocketError error) {
            lastAttemptRefused = error == QAbstractSocket::ConnectionRefusedError;
            connectionLost(socket ? socket->errorString() : QStringLiteral("socket error"));
        });
        QObject::connect(socket, &QSslSocket::sslErrors, q, [this](const QList<QSslError>& errors) {
            // No error is ever ignored: the handshake fails and the attempt with it.
            for (const QSslError& error : errors) {
                qCWarning(lcIrc) << "TLS certificate of" << config.host << "refused:" << error.errorString();
                Q_EMIT q->failure(QStringLiteral("certificate refused: ") + error.errorString());
            }
        });
        attemptTimer.start(config.registerTimeoutMs);
        if (config.tls) {
            socket->setSslConfiguration(tlsConfiguration());
            socket->connectToHostEncrypted(config.host, config.port);
        } else {
            socket->connectToHost(config.host, config.port);
        }
    }

    QSslConfiguration tlsConfiguration() {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!config.extraCaFile.isEmpty()) {
            QList<QSslCertificate> ca = QSslCertificate::fromPath(config.extraCaFile, QSsl::Pem);
            if (ca.isEmpty())
                ca = QSslCertificate::fromPath(config.extraCaFile, QSsl::Der);
            if (ca.isEmpty()) {
                qCWarning(lcIrc) << "no certificate could be read from" << config.extraCaFile;
                Q_EMIT q->failure(QStringLiteral("no certificate in ") + config.extraCaFile);
            }
            tls.addCaCertificates(ca);
        }
        return tls;
    }

    // Quietly: the socket's own signals must not report a loss we caused.
    void dropSocket() {
        if (!socket)
            return;
        QSslSocket* old = socket;
        socket = nullptr;
        QObject::disconnect(old, nullptr, q, nullptr);
        old->abort();
        old->deleteLater();
    }

    void stopTimers() {
        for (QTimer* timer :
             {&watchdog, &attemptTimer, &reconnectTimer, &nickRetryTimer, &rejoinTimer, &pumpTimer})
            timer->stop();
    }

    void forgetChannel() {
        namesArriving.clear();
        if (users.isEmpty())
            return;
        users.clear();
        Q_EMIT q->usersChanged();
    }

    void dropQueue() { reportUndelivered(queue.clear(), "connection lost"); }

    void reportUndelivered(const QList<IrcSendQueue::Line>& lines, const char* why) {
        for (const IrcSendQueue::Line& line : lines) {
            qCWarning(lcIrc).nospace() << "not delivered to " << line.target << " (" << why << ')';
            const QByteArray said = IrcMessage::parse(line.bytes).param(1);
            Q_EMIT q->undelivered(QString::fromUtf8(line.target), QString::fromUtf8(said));
        }
    }

    void connectionLost(const QString& reason) {
        if (!socket)
            return;
        dropSocket();
        stopTimers();
        registered = false;
        forgetChannel();
        dropQueue();
        if (!running) {
            setState(State::Disconnected);
            return;
        }
        const int delay = backoff.nextDelayMs(lastAttemptRefused);
        qCWarning(lcIrc).nospace() << "connection to " << config.host << ':' << config.port << " lost ("
                                   << reason << "); trying again in " << delay << " ms";
        setState(State::Reconnecting);
        reconnectTimer.start(delay);
        Q_EMIT q->reconnectIn((delay + 999) / 1000);
    }

    // --- writing

    void sendNow(const IrcMessage& message) {
        const QByteArray line = message.serialize();
        // Once we are registered the server counts these lines too: they go at once, but they
        // use up the allowance.
        if (registered)
            queue.spend(clock.elapsed());
        write(line);
    }

    void write(const QByteArray& line) {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (line.startsWith("AUTHENTICATE "))
            qCDebug(lcIrc) << "-> AUTHENTICATE (hidden)";
        else
            qCDebug(lcIrc) << "->" << line;
        socket->write(line + "\r\n");
    }

    void send(const QByteArray& command, const QList<QByteArray>& params = {}) {
        sendNow(IrcMessage::make(command, params));
    }

    void pump() {
        if (!socket)
            return;
        const qint64 now = clock.elapsed();
        reportUndelivered(queue.takeStale(now, config.maxQueueAgeMs), "waited too long to be sent");
        for (const QByteArray& line : queue.take(now))
            write(line);
        const qint64 wait = queue.msUntilNext(now);
        if (wait >= 0)
            pumpTimer.start(static_cast<int>(std::max<qint64>(wait, 1)));
    }

    int prefixBytes() const {
        const int nickBytes = std::max<int>(static_cast<int>(nick.toUtf8().size()), nickLength);
        return userHost.isEmpty() ? nickBytes + kAssumedUserHostBytes
                                  : static_cast<int>(nick.toUtf8().size() + 1 + userHost.size());
    }

    bool queueText(const QByteArray& target, const QString& said) {
        if (state != State::Joined) {
            qCWarning(lcIrc) << "not in" << config.channel << "- a line for" << target << "was not sent";
            return false;
        }
        const int budget = IrcLineSplitter::textBudget(prefixBytes(), static_cast<int>(target.size()));
        for (const QByteArray& piece : IrcLineSplitter::split(said, budget))
            queue.push(target, IrcMessage::make(kPrivmsg, {target, piece}).serialize(), clock.elapsed());
        pump();
        return true;
    }

    // --- reading

    void readLines() {
        if (!socket)
            return;
        inbox += socket->readAll();
        awaitingPong = false;
        watchdog.start(config.pingIdleMs);
        const QPointer<QSslSocket> reading = socket;
        qsizetype pos = 0;
        for (qsizetype end = inbox.indexOf('\n'); end >= 0 && socket == reading;
             end = inbox.indexOf('\n', pos)) {
            QByteArray line = inbox.mid(pos, end - pos);
            pos = end + 1;
            if (std::exchange(discardingLine, false))
                continue;
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.size() > kMaxLineBytes) {
                qCWarning(lcIrc) << "ignored a line of" << line.size() << "bytes from the server";
                continue;
            }
            handle(IrcMessage::parse(line));
        }
        inbox.remove(0, pos);
        if (socket == reading && inbox.size() > kMaxLineBytes) {
            qCWarning(lcIrc) << "ignored a line of more than" << kMaxLineBytes << "bytes from the server";
            inbox.clear();
            discardingLine = true;
        }
    }

    void watchdogFired() {
        if (awaitingPong) {
            connectionLost(QStringLiteral("no answer to PING within %1 ms").arg(config.pingTimeoutMs));
            return;
        }
        awaitingPong = true;
        send("PING", {QByteArrayLiteral("palvuro")});
        watchdog.start(config.pingTimeoutMs);
    }

    bool isUs(const QByteArray& who) const { return IrcNick::same(nick, who); }
    bool isChannel(const QByteArray& target) const { return IrcNick::same(config.channel, target); }
    // Our nick as the server can hold it: a server with shorter nicks cuts ours down.
    QString wanted() const { return nickLengthKnown ? config.nick.left(nickLength) : config.nick; }
    bool usingStandIn() const { return registered && !IrcNick::same(wanted(), nick.toUtf8()); }

    void handle(const IrcMessage& message) {
        if (!message.isValid())
            return;
        if (const int numeric = message.numeric())
            handleNumeric(numeric, message);
        else
            handleCommand(message);
    }

    void handleCommand(const IrcMessage& m) {
        const QByteArray& c = m.command;
        if (c == "PING")
            send("PONG", m.params);
        else if (c == "CAP")
            handleCap(m);
        else if (c == "AUTHENTICATE")
            handleAuthenticate(m);
        else if (c == "JOIN")
            handleJoin(m);
        else if (c == "PART")
            handleLeave(m, m.param(1),
                        [this](const QString& n, const QString& r) { Q_EMIT q->parted(n, r); });
        else if (c == "QUIT")
            handleQuit(m);
        else if (c == "KICK")
            handleKick(m);
        else if (c == "NICK")
            handleNick(m);
        else if (c == kPrivmsg)
            handlePrivmsg(m);
        else if (c == "NOTICE")
            handleNotice(m);
        else if (c == "ERROR")
            qCWarning(lcIrc) << "the server ends the connection:" << text(m.param(0));
    }

    // --- registration

    void beginRegistration() {
        setState(State::Registering);
        watchdog.start(config.pingIdleMs);
        send("CAP", {QByteArrayLiteral("LS"), QByteArrayLiteral("302")});
        send("NICK", {nick.toUtf8()});
        send("USER", {QByteArrayLiteral("palvuro"), QByteArrayLiteral("0"), QByteArrayLiteral("*"),
                      QByteArrayLiteral("Palvuro Trivia")});
    }

    void handleCap(const IrcMessage& m) {
        const QByteArray sub = m.param(1).toUpper();
        if (sub == "LS") {
            // "CAP * LS * :caps" continues on the next line, "CAP * LS :caps" is the last.
            const bool more = m.params.size() > 3 && m.param(2) == "*";
            for (const QByteArray& cap : m.lastParam().split(' '))
                capsOffered.insert(beforeFirst(cap, '='));
            if (!more && !registered)
                requestCaps();
        } else if (sub == "ACK") {
            const QList<QByteArray> acked = m.lastParam().split(' ');
            if (acked.contains("sasl") && !config.account.isEmpty()) {
                saslRunning = true;
                send("AUTHENTICATE", {QByteArrayLiteral("PLAIN")});
            } else if (!registered) {
                send("CAP", {QByteArrayLiteral("END")});
            }
        } else if (sub == "NAK") {
            if (m.lastParam().split(' ').contains("sasl"))
                reportAccountFailure(
                    QStringLiteral("the server refused SASL for the account %1").arg(config.account));
            if (!registered)
                send("CAP", {QByteArrayLiteral("END")});
        }
    }

    void requestCaps() {
        QList<QByteArray> wanted;
        if (capsOffered.contains("message-tags"))
            wanted.append(QByteArrayLiteral("message-tags"));
        if (!config.account.isEmpty()) {
            if (capsOffered.contains("sasl"))
                wanted.append(QByteArrayLiteral("sasl"));
            else
                reportAccountFailure(
                    QStringLiteral("the server offers no SASL: not logged in as %1").arg(config.account));
        }
        if (wanted.isEmpty())
            send("CAP", {QByteArrayLiteral("END")});
        else
            send("CAP", {QByteArrayLiteral("REQ"), wanted.join(' ')});
    }

    void handleAuthenticate(const IrcMessage& m) {
        if (!saslRunning || m.param(0) != "+")
            return;
        for (const QByteArray& piece : IrcSasl::plainResponse(config.account, config.password))
            send("AUTHENTICATE", {piece});
    }

    void reportAccountFailure(const QString& reason) {
        qCWarning(lcIrc) << reason;
        Q_EMIT q->failure(reason);
    }

    void finishSasl(int numeric) {
        if (!saslRunning)
            return;
        saslRunning = false;
        const QString failed = IrcSasl::failureText(numeric, config.account);
        if (!failed.isEmpty())
            reportAccountFailure(failed + QStringLiteral("; continuing without it"));
        if (!registered)
            send("CAP", {QByteArrayLiteral("END")});
    }

    void welcomed(const IrcMessage& m) {
        registered = true;
        attemptTimer.stop();
        if (!m.param(0).isEmpty())
            nick = QString::fromUtf8(m.param(0));
        if (nickAttempt == 0 && nick.size() < config.nick.size() &&
            IrcNick::same(config.nick.left(nick.size()), nick.toUtf8())) {
            qCWarning(lcIrc) << "the server cuts nicks to" << nick.size() << "characters:" << nick;
            nickLength = static_cast<int>(nick.size());
            nickLengthKnown = true;
        }
        // Most servers end the welcome with our full prefix.
        const QByteArray last = m.lastParam().split(' ').last();
        const qsizetype bang = last.indexOf('!');
        if (bang > 0 && last.indexOf('@') > bang && IrcNick::same(nick, last.left(bang)))
            userHost = last.mid(bang + 1);
        if (usingStandIn()) {
            qCWarning(lcIrc) << "the nick" << wanted() << "is taken; registered as" << nick;
            Q_EMIT q->nickInUse(wanted(), nick);
            nickRetryTimer.start(config.nickRetryMs);
        }
        join();
    }

    void join() {
        if (registered)
            send("JOIN", {config.channel.toUtf8()});
    }

    void nickRefused(const IrcMessage& m) {
        if (registered) {
            qCDebug(lcIrc) << "the nick" << wanted() << "is still taken";
            return;
        }
        if (++nickAttempt > kMaxNickAttempts) {
            connectionLost(QStringLiteral("no free nick after %1 tries").arg(kMaxNickAttempts));
            return;
        }
        // Until the server names its nick length, the first stand-in may be one longer than
        // the wanted nick; a server that cuts it back refuses it, and the next ones fit nine.
        const int limit = nickLengthKnown    ? nickLength
                          : nickAttempt == 1 ? static_cast<int>(wanted().size()) + 1
                                             : kDefaultNickLength;
        nick = IrcNick::alternative(wanted(), nickAttempt, limit);
        qCWarning(lcIrc) << "the server refused the nick" << text(m.param(1)) << "- trying" << nick;
        send("NICK", {nick.toUtf8()});
    }

    void reclaimNick() {
        if (usingStandIn())
            send("NICK", {wanted().toUtf8()});
    }

    void readSupport(const IrcMessage& m) {
        for (const QByteArray& token : m.params.mid(1, m.params.size() - 2)) {
            if (token.startsWith("NICKLEN=")) {
                nickLength = std::clamp(token.mid(8).toInt(), 1, 512);
                nickLengthKnown = true;
            } else if (token == "MONITOR" || token.startsWith("MONITOR="))
                watchNick("MONITOR");
            else if (token == "WATCH" || token.startsWith("WATCH="))
                watchNick("WATCH");
        }
    }

    // The server tells us the moment the holder of our nick leaves, wherever they are.
    void watchNick(const QByteArray& command) {
        if (!usingStandIn())
            return;
        if (command == "MONITOR")
            send(command, {QByteArrayLiteral("+"), wanted().toUtf8()});
        else
            send(command, {'+' + wanted().toUtf8()});
    }

    // MONITOR lists "nick!user@host" or bare nicks, separated by commas; WATCH names one nick.
    bool namesWantedNick(const IrcMessage& m) const {
        if (IrcNick::same(wanted(), m.param(1)))
            return true;
        const QList<QByteArray> entries = m.lastParam().split(',');
        return std::any_of(entries.cbegin(), entries.cend(), [this](const QByteArray& entry) {
            return IrcNick::same(wanted(), beforeFirst(entry, '!'));
        });
    }

    void handleNumeric(int numeric, const IrcMessage& m) {
        switch (numeric) {
        case 1:
            welcomed(m);
            break;
        case 5:
            readSupport(m);
            break;
        case 353:
            collectNames(m);
            break;
        case 366:
            namesComplete();
            break;
        case 396:
            userHost = userHost.left(userHost.indexOf('@') + 1) + m.param(1);
            break;
        case 432:
        case 433:
        case 436:
        case 437:
            nickRefused(m);
            break;
        case 601:
        case 605: // WATCH: logged off / is offline
        case 731: // MONITOR: offline
            if (namesWantedNick(m))
                reclaimNick();
            break;
        case 403:
        case 405:
        case 471:
        case 473:
        case 474:
        case 475:
        case 477:
            if (isChannel(m.param(1)))
                joinRefused(m);
            break;
        case 900:
            qCInfo(lcIrc) << "logged in as" << config.account;
            break;
        case 902:
        case 903:
        case 904:
        case 905:
        case 906:
        case 907:
            finishSasl(numeric);
            break;
        case 908:
            finishSaslMechanisms();
            break;
        default:
            break;
        }
    }

    void finishSaslMechanisms() { reportAccountFailure(IrcSasl::failureText(908, config.account)); }

    void joinRefused(const IrcMessage& m) {
        const QString reason = QStringLiteral("cannot join %1: %2").arg(config.channel, text(m.lastParam()));
        qCWarning(lcIrc) << reason;
        Q_EMIT q->failure(reason);
        rejoinTimer.start(config.rejoinDelayMs);
    }

    // --- the channel

    void handleJoin(const IrcMessage& m) {
        if (!isChannel(m.param(0)))
            return;
        if (isUs(m.nick)) {
            userHost = m.user + '@' + m.host;
            backoff.reset();
            rejoinTimer.stop();
            setState(State::Joined);
            return;
        }
        addUser(m.nick);
        Q_EMIT q->joined(text(m.nick));
    }

    void addUser(const QByteArray& who) {
        if (std::any_of(users.cbegin(), users.cend(),
                        [&who](const QByteArray& u) { return IrcNick::same(u, who); }))
            return;
        users.append(who);
        Q_EMIT q->usersChanged();
    }

    bool removeUser(const QByteArray& who) {
        const qsizetype removed =
            users.removeIf([&who](const QByteArray& u) { return IrcNick::same(u, who); });
        if (removed)
            Q_EMIT q->usersChanged();
        return removed > 0;
    }

    template <typename Emit> void handleLeave(const IrcMessage& m, const QByteArray& reason, Emit emitLeft) {
        if (!isChannel(m.param(0)))
            return;
        if (isUs(m.nick)) {
            leftChannel();
            return;
        }
        removeUser(m.nick);
        emitLeft(text(m.nick), text(reason));
    }

    void leftChannel() {
        forgetChannel();
        setState(State::Registering);
        rejoinTimer.start(config.rejoinDelayMs);
    }

    void handleQuit(const IrcMessage& m) {
        if (IrcNick::same(wanted(), m.nick))
            reclaimNick();
        if (removeUser(m.nick))
            Q_EMIT q->quit(text(m.nick), text(m.param(0)));
    }

    void handleKick(const IrcMessage& m) {
        if (!isChannel(m.param(0)))
            return;
        const QByteArray victim = m.param(1);
        Q_EMIT q->kicked(text(victim), text(m.nick), text(m.param(2)));
        if (isUs(victim)) {
            qCWarning(lcIrc) << "kicked from" << config.channel << "by" << m.nick << "- joining again";
            leftChannel();
        } else {
            removeUser(victim);
        }
    }

    void handleNick(const IrcMessage& m) {
        const QByteArray renamed = m.param(0);
        if (isUs(m.nick)) {
            nick = QString::fromUtf8(renamed);
            if (!usingStandIn())
                nickRetryTimer.stop();
        } else if (IrcNick::same(wanted(), m.nick)) {
            reclaimNick();
        }
        const auto found = std::find_if(users.begin(), users.end(),
                                        [&m](const QByteArray& u) { return IrcNick::same(u, m.nick); });
        if (found == users.end())
            return;
        *found = renamed;
        Q_EMIT q->usersChanged();
        Q_EMIT q->nickChanged(text(m.nick), text(renamed));
    }

    void collectNames(const IrcMessage& m) {
        if (m.params.size() < 4 || !isChannel(m.param(2)))
            return;
        for (const QByteArray& entry : m.lastParam().split(' ')) {
            const QByteArray who = IrcNick::withoutModes(entry);
            if (!who.isEmpty())
                namesArriving.append(who);
        }
    }

    void namesComplete() {
        users = std::exchange(namesArriving, {});
        Q_EMIT q->usersChanged();
    }

    // --- messages

    void handlePrivmsg(const IrcMessage& m) {
        const QByteArray target = m.param(0);
        const bool toChannel = isChannel(target);
        if (m.nick.isEmpty() || (!toChannel && !isUs(target)))
            return;
        const QByteArray body = m.param(1);
        const QString from = text(m.nick);
        if (const auto ctcp = IrcCtcp::parse(body)) {
            if (ctcp->command != "ACTION") {
                qCDebug(lcIrc) << "ignored a CTCP" << ctcp->command.left(32) << "from" << from;
                return;
            }
            if (toChannel)
                Q_EMIT q->channelAction(from, text(ctcp->argument));
            else
                Q_EMIT q->privateAction(from, text(ctcp->argument));
            return;
        }
        if (toChannel)
            Q_EMIT q->channelMessage(from, text(body));
        else
            Q_EMIT q->privateMessage(from, text(body));
    }

    void handleNotice(const IrcMessage& m) {
        const QByteArray body = m.param(1);
        if (IrcCtcp::parse(body))
            return;
        const QString said = text(body);
        if (said.contains(QLatin1String("throttled"), Qt::CaseInsensitive))
            qCWarning(lcIrc) << "the server throttles us:" << said;
        Q_EMIT q->notice(text(m.nick), said);
    }
};

IrcSession::IrcSession(IrcSessionConfig config, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, std::move(config))) {
    d->clock.start();
    for (QTimer* timer : {&d->watchdog, &d->attemptTimer, &d->reconnectTimer, &d->rejoinTimer, &d->pumpTimer})
        timer->setSingleShot(true);
    connect(&d->watchdog, &QTimer::timeout, this, [this] { d->watchdogFired(); });
    connect(&d->attemptTimer, &QTimer::timeout, this, [this] {
        d->connectionLost(
            QStringLiteral("no welcome from the server within %1 ms").arg(d->config.registerTimeoutMs));
    });
    connect(&d->reconnectTimer, &QTimer::timeout, this, [this] { d->connectNow(); });
    connect(&d->nickRetryTimer, &QTimer::timeout, this, [this] { d->reclaimNick(); });
    connect(&d->rejoinTimer, &QTimer::timeout, this, [this] { d->join(); });
    connect(&d->pumpTimer, &QTimer::timeout, this, [this] { d->pump(); });
}

IrcSession::~IrcSession() {
    d->running = false;
    d->dropSocket();
}

void IrcSession::start() {
    if (d->running)
        return;
    d->running = true;
    d->backoff.reset();
    d->connectNow();
}

void IrcSession::stop() {
    d->running = false;
    d->stopTimers();
    if (d->socket && d->registered)
        d->send("QUIT", {QByteArrayLiteral("Palvuro Trivia closes")});
    if (d->socket) {
        // The QUIT still leaves before the socket closes; nothing we do here waits for it.
        QSslSocket* closing = d->socket;
        d->socket = nullptr;
        disconnect(closing, nullptr, this, nullptr);
        connect(closing, &QSslSocket::disconnected, closing, &QObject::deleteLater);
        QTimer::singleShot(kQuitGraceMs, closing, &QObject::deleteLater);
        closing->disconnectFromHost();
    }
    d->registered = false;
    d->forgetChannel();
    d->dropQueue();
    d->setState(State::Disconnected);
}

IrcSession::State IrcSession::state() const {
    return d->state;
}

QString IrcSession::nick() const {
    return d->nick;
}

QStringList IrcSession::users() const {
    QStringList out;
    for (const QByteArray& user : d->users)
        out.append(IrcText::plain(user));
    return out;
}

bool IrcSession::say(const QString& text) {
    return d->queueText(d->config.channel.toUtf8(), text);
}

bool IrcSession::sayTo(const QString& nick, const QString& text) {
    const QByteArray target = nick.toUtf8();
    // A nick with a blank or a line break would smuggle in a second target or a second line.
    if (target.isEmpty() || target.contains(' ') || target.contains(',') || target.contains('\r') ||
        target.contains('\n') || target.contains('\0') || target.startsWith(':')) {
        qCWarning(lcIrc) << "refused to send to the nick" << nick;
        return false;
    }
    return d->queueText(target, text);
}

} // namespace palvuro
