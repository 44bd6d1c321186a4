#include "irc/IrcSession.h"

#include "irc/IrcChannel.h"
#include "irc/IrcCtcp.h"
#include "irc/IrcCtcpResponder.h"
#include "irc/IrcLineSplitter.h"
#include "irc/IrcLog.h"
#include "irc/IrcMessage.h"
#include "irc/IrcNumeric.h"
#include "irc/IrcRegistration.h"
#include "irc/IrcSentLines.h"
#include "irc/IrcStsPolicies.h"
#include "irc/IrcText.h"
#include "irc/IrcTransport.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

namespace palvuro {
namespace {

// How long a closing connection may take to deliver our QUIT: short enough that a service
// manager's stop, which waits a little longer, never has to kill the client.
constexpr int kQuitGraceMs = 1000;
const QByteArray kPrivmsg = QByteArrayLiteral("PRIVMSG");

QString text(const QByteArray& bytes) {
    return IrcText::plain(bytes);
}

} // namespace

struct IrcSession::Private {
    Private(IrcSession* session, IrcSessionConfig settings)
        : q(session), config(std::move(settings)), queue(config.pacing), transport(config),
          registration(config, sender()), channel(config, registration, sender()), pumpTimer(config.clock) {}

    IrcSession* q;
    IrcSessionConfig config;
    IrcSendQueue queue;
    IrcTransport transport;
    IrcRegistration registration;
    IrcChannel channel;
    IrcCtcpResponder ctcpResponder{QString(QCoreApplication::applicationName() + QLatin1Char(' ') +
                                           QCoreApplication::applicationVersion())
                                       .toUtf8()};
    State state = State::Disconnected;
    bool running = false;
    IrcTimer pumpTimer;
    IrcSentLines sentLines;

    qint64 now() const { return IrcClock::now(config.clock); }

    IrcSendFunction sender() {
        return [this](const QByteArray& command, const QList<QByteArray>& params) { send(command, params); };
    }

    void setState(State next) {
        if (state == next)
            return;
        state = next;
        Q_EMIT q->stateChanged(next);
    }

    // --- connection

    void connectNow() {
        registration.reset();
        setState(State::Connecting);
        transport.open();
    }

    void stopTimers() {
        transport.halt();
        registration.stopTimers();
        channel.stopTimers();
        pumpTimer.stop();
    }

    void dropQueue() { reportUndelivered(queue.clear(), "connection lost"); }

    void reportUndelivered(const QList<IrcSendQueue::Line>& lines, const char* why) {
        for (const IrcSendQueue::Line& line : lines) {
            qCWarning(lcIrc).nospace() << "not delivered to " << line.target << " (" << why << ')';
            const QByteArray said = IrcMessage::parse(line.bytes).param(1);
            Q_EMIT q->undelivered(QString::fromUtf8(line.target), QString::fromUtf8(said));
        }
    }

    void close() {
        transport.drop();
        stopTimers();
        registration.reset();
        channel.forget();
        sentLines.forget();
        dropQueue();
    }

    void connectionLost(const QString& reason) {
        if (!transport.isOpen())
            return;
        close();
        if (!running) {
            setState(State::Disconnected);
            return;
        }
        const int delay = transport.retryLater();
        qCWarning(lcIrc).nospace() << "connection to " << config.host << ':' << config.port << " lost ("
                                   << reason << "); trying again in " << delay << " ms";
        setState(State::Reconnecting);
        Q_EMIT q->reconnectIn((delay + 999) / 1000);
    }

    void giveUp(const QString& reason) {
        qCWarning(lcIrc) << "stopped:" << reason;
        q->stop();
        Q_EMIT q->gaveUp(reason);
    }

    // Once a server has asked for TLS, nobody on the way can talk us back down to plain text.
    void upgradeToTls(quint16 port) {
        qCInfo(lcIrc) << config.host << "asks for TLS on port" << port << "- connecting there";
        close();
        config.tls = true;
        config.port = port;
        connectNow();
    }

    void followStoredPolicy() {
        if (const auto port = IrcStsPolicies(config.stsPolicyFile).portFor(config.host)) {
            if (!config.tls)
                qCInfo(lcIrc) << config.host << "asked for TLS on port" << *port << "- connecting there";
            config.tls = true;
            config.port = *port;
        }
    }

    // --- writing

    void send(const QByteArray& command, const QList<QByteArray>& params = {}) {
        // Once we are registered the server counts these lines too: they go at once, but they
        // use up the allowance.
        if (registration.registered())
            queue.spend(now());
        transport.write(IrcMessage::make(command, params).serialize());
    }

    void pump() {
        if (!transport.isOpen())
            return;
        const qint64 now = this->now();
        for (const QByteArray& line : queue.take(now)) {
            transport.write(line);
            sentLines.sent(line, now);
        }
        const qint64 wait = queue.msUntilNext(now);
        if (wait >= 0)
            pumpTimer.start(std::max<qint64>(wait, 1));
    }

    bool queueText(const QByteArray& target, const QString& said) {
        if (state != State::Joined) {
            qCWarning(lcIrc) << "not in" << config.channel << "- a line for" << target << "was not sent";
            return false;
        }
        // The hold is on new private targets: the channel is ours to speak in whatever it says.
        if (!channel.isChannel(target) && !sentLines.mayWriteTo(target, now())) {
            qCWarning(lcIrc) << "the server holds texts to new nicks for now - a text for" << target
                             << "was not sent";
            return false;
        }
        const int budget =
            IrcLineSplitter::textBudget(registration.prefixBytes(), static_cast<int>(target.size()));
        QList<QByteArray> lines;
        for (const QByteArray& piece : IrcLineSplitter::split(said, budget))
            lines.append(IrcMessage::make(kPrivmsg, {target, piece}).serialize());
        switch (queue.push(target, lines, channel.isChannel(target))) {
        case IrcSendQueue::Pushed::AlreadyWaiting:
            qCInfo(lcIrc) << "the same text already waits for" << target << "- it answers this one too";
            break;
        case IrcSendQueue::Pushed::Full:
            qCWarning(lcIrc) << "too many private lines wait to be sent - a text for" << target
                             << "was dropped";
            return false;
        case IrcSendQueue::Pushed::Queued:
            pump();
            break;
        }
        return true;
    }

    // --- reading

    void handle(const IrcMessage& m) {
        registration.handle(m);
        if (!transport.isOpen())
            return;
        channel.handle(m);
        if (const auto refused = sentLines.refusedBy(m, now())) {
            qCWarning(lcIrc).nospace() << "the server refused a line to " << refused->target << " ("
                                       << m.command << "): " << text(m.lastParam());
            Q_EMIT q->undelivered(QString::fromUtf8(refused->target), QString::fromUtf8(refused->text));
        }
        const QByteArray& c = m.command;
        if (c == "PING")
            send("PONG", m.params);
        else if (c == kPrivmsg)
            handlePrivmsg(m);
        else if (c == "NOTICE")
            handleNotice(m);
        else if (c == "ERROR")
            refusedBy(text(m.param(0)), IrcBackoff::Cause::Refused);
        else if (m.numeric() == Numeric::ErrYoureBannedCreep)
            refusedBy(text(m.lastParam()), IrcBackoff::Cause::Banned);
        else if (m.numeric() == Numeric::ErrYouWillBeBanned || m.numeric() == Numeric::ErrPasswdMismatch)
            refusedBy(text(m.lastParam()), IrcBackoff::Cause::Refused);
    }

    void refusedBy(const QString& reason, IrcBackoff::Cause cause) {
        qCWarning(lcIrc) << "the server refuses us:" << reason;
        transport.refusedBecause(cause);
        Q_EMIT q->refused(reason);
    }

    void handlePrivmsg(const IrcMessage& m) {
        const QByteArray target = m.param(0);
        const bool toChannel = channel.isChannel(target);
        if (m.nick.isEmpty() || (!toChannel && !registration.isUs(target)))
            return;
        const QByteArray body = m.param(1);
        const QString from = text(m.nick);
        if (const auto ctcp = IrcCtcp::parse(body)) {
            if (ctcp->command != "ACTION") {
                answerCtcp(m.nick, *ctcp);
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

    void answerCtcp(const QByteArray& from, const IrcCtcp& request) {
        const auto reply = ctcpResponder.answer(request, now(), QDateTime::currentDateTime());
        if (!reply) {
            qCDebug(lcIrc) << "left a CTCP" << request.command.left(32) << "from" << from << "unanswered";
            return;
        }
        send("NOTICE", {from, *reply});
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
    connect(&d->pumpTimer, &IrcTimer::timeout, this, [this] { d->pump(); });

    IrcTransport* transport = &d->transport;
    connect(transport, &IrcTransport::opened, this, [this] {
        d->setState(State::Registering);
        d->registration.begin();
    });
    connect(transport, &IrcTransport::lineReceived, this, [this](const IrcMessage& m) { d->handle(m); });
    connect(transport, &IrcTransport::lost, this,
            [this](const QString& reason) { d->connectionLost(reason); });
    connect(transport, &IrcTransport::failure, this, &IrcSession::failure);
    connect(transport, &IrcTransport::retryDue, this, [this] { d->connectNow(); });
    connect(transport, &IrcTransport::lagMeasured, this, &IrcSession::lagMeasured);
    connect(transport, &IrcTransport::closed, this, &IrcSession::closed);

    IrcRegistration* registration = &d->registration;
    connect(registration, &IrcRegistration::welcomed, this, [this] {
        d->transport.registered();
        d->channel.join();
    });
    connect(registration, &IrcRegistration::nickInUse, this, &IrcSession::nickInUse);
    connect(registration, &IrcRegistration::failure, this, &IrcSession::failure);
    connect(registration, &IrcRegistration::gaveUp, this,
            [this](const QString& why) { d->connectionLost(why); });
    connect(registration, &IrcRegistration::fatal, this, [this](const QString& why) { d->giveUp(why); });
    connect(registration, &IrcRegistration::loginUnavailable, this, [this](const QString& why) {
        d->transport.refusedBecause(IrcBackoff::Cause::Refused);
        d->connectionLost(why);
    });
    connect(registration, &IrcRegistration::upgradeToTls, this,
            [this](quint16 port) { d->upgradeToTls(port); });
    connect(registration, &IrcRegistration::keepTls, this, [this](qint64 seconds) {
        IrcStsPolicies(d->config.stsPolicyFile).remember(d->config.host, d->config.port, seconds);
    });

    IrcChannel* channel = &d->channel;
    connect(channel, &IrcChannel::entered, this, [this](const QByteArray& userHost) {
        d->registration.setUserHost(userHost);
        d->transport.joined();
        d->setState(State::Joined);
    });
    connect(channel, &IrcChannel::left, this, [this] {
        const QByteArray ours = d->config.channel.toUtf8();
        d->sentLines.forget(ours);
        d->reportUndelivered(d->queue.takeFor(ours), "not in the channel");
        d->setState(State::Registering);
    });
    connect(channel, &IrcChannel::outside, this,
            [this](const QString& why, int retryMs) { Q_EMIT outsideChannel(why, (retryMs + 999) / 1000); });
    connect(channel, &IrcChannel::failure, this, &IrcSession::failure);
}

IrcSession::~IrcSession() {
    d->running = false;
    d->transport.drop();
}

void IrcSession::start() {
    if (d->running)
        return;
    d->running = true;
    d->followStoredPolicy();
    // Whatever built the settings, no account is ever tried in the clear.
    if (const QString why = d->registration.loginRefusedWithoutTls(); !why.isEmpty()) {
        d->giveUp(why);
        return;
    }
    d->transport.resetBackoff();
    d->connectNow();
}

void IrcSession::stop() {
    d->running = false;
    d->stopTimers();
    const bool quitting = d->transport.isOpen() && d->registration.registered();
    if (quitting)
        d->send("QUIT", {QByteArrayLiteral("Palvuro Trivia closes")});
    d->transport.closeGracefully(quitting, kQuitGraceMs);
    d->registration.reset();
    d->channel.forget();
    d->dropQueue();
    d->setState(State::Disconnected);
}

IrcSession::State IrcSession::state() const {
    return d->state;
}

QString IrcSession::nick() const {
    return d->registration.nick();
}

QStringList IrcSession::users() const {
    return d->channel.users();
}

const IrcChannel& IrcSession::channel() const {
    return d->channel;
}

bool IrcSession::say(const QString& text) {
    return d->queueText(d->config.channel.toUtf8(), text);
}

bool IrcSession::sayTo(const QString& nick, const QString& text) {
    const QByteArray target = nick.toUtf8();
    // A nick with a blank or a line break would smuggle in a second target or a second line; a
    // channel's name would make a private reply public.
    if (target.isEmpty() || target.contains(' ') || target.contains(',') || target.contains('\r') ||
        target.contains('\n') || target.contains('\0') || target.startsWith(':') ||
        d->registration.names().isChannel(target)) {
        qCWarning(lcIrc) << "refused to send to the nick" << nick;
        return false;
    }
    return d->queueText(target, text);
}

} // namespace palvuro
