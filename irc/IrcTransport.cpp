#include "irc/IrcTransport.h"

#include "irc/IrcLog.h"
#include "irc/IrcMessage.h"

#include <QFile>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <utility>

namespace palvuro {
namespace {

// A server's line is 512 bytes, its tags up to 8191 more; anything far longer is garbage.
constexpr qsizetype kMaxLineBytes = 16384;
const QByteArray kPingToken = QByteArrayLiteral("palvuro");
// While our PING goes unanswered, the lag is reported this often.
constexpr int kLagReportMs = 10'000;

// A line as the debug log may show it: server and account passwords and channel keys are
// whoever reads the log's business no more than the person's at the next desk.
QByteArray loggable(const QByteArray& line) {
    const IrcMessage m = IrcMessage::parse(line);
    if (m.command == "PASS" || m.command == "AUTHENTICATE" || m.command == "OPER")
        return m.command + " (hidden)";
    if (m.command == "JOIN" && m.params.size() > 1)
        return m.command + ' ' + m.param(0) + " (key hidden)";
    return line;
}

IrcBackoff::Cause causeOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::SocketTimeoutError:
        return IrcBackoff::Cause::Unreachable;
    default:
        return IrcBackoff::Cause::Lost;
    }
}

} // namespace

IrcTransport::IrcTransport(const IrcSessionConfig& config, QObject* parent)
    : QObject(parent), config_(config), backoff_(config.backoff), watchdog_(config.clock),
      attemptTimer_(config.clock), retryTimer_(config.clock), lagTimer_(config.clock),
      steadyTimer_(config.clock) {
    connect(&watchdog_, &IrcTimer::timeout, this, &IrcTransport::watchdogFired);
    connect(&attemptTimer_, &IrcTimer::timeout, this, [this] {
        Q_EMIT lost(QStringLiteral("no welcome from the server within %1 ms").arg(config_.registerTimeoutMs));
    });
    connect(&retryTimer_, &IrcTimer::timeout, this, &IrcTransport::retryDue);
    connect(&lagTimer_, &IrcTimer::timeout, this, [this] {
        Q_EMIT lagMeasured(IrcClock::now(config_.clock) - pingSentMs_);
        lagTimer_.start(kLagReportMs);
    });
    connect(&steadyTimer_, &IrcTimer::timeout, this, &IrcTransport::resetBackoff);
}

IrcTransport::~IrcTransport() {
    drop();
}

void IrcTransport::open() {
    drop();
    inbox_.clear();
    discardingLine_ = false;
    awaitingPong_ = false;
    registered_ = false;
    pingSentMs_ = -1;
    cause_ = IrcBackoff::Cause::Lost;
    socket_ = new QSslSocket(this);
    connect(socket_, &QSslSocket::connected, this, [this] {
        if (!config_.tls)
            ready();
    });
    connect(socket_, &QSslSocket::encrypted, this, &IrcTransport::ready);
    connect(socket_, &QSslSocket::readyRead, this, &IrcTransport::readLines);
    connect(socket_, &QSslSocket::disconnected, this,
            [this] { Q_EMIT lost(QStringLiteral("the server closed the connection")); });
    connect(socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (cause_ == IrcBackoff::Cause::Lost)
            cause_ = causeOf(error);
        Q_EMIT lost(socket_ ? socket_->errorString() : QStringLiteral("socket error"));
    });
    connect(socket_, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        // No error is ever ignored: the handshake fails and the attempt with it.
        for (const QSslError& error : errors) {
            qCWarning(lcIrc) << "TLS certificate of" << config_.host << "refused:" << error.errorString();
            Q_EMIT failure(QStringLiteral("certificate refused: ") + error.errorString());
        }
    });
    attemptTimer_.start(config_.registerTimeoutMs);
    if (config_.tls) {
        socket_->setSslConfiguration(tlsConfiguration());
        socket_->connectToHostEncrypted(config_.host, config_.port);
    } else {
        socket_->connectToHost(config_.host, config_.port);
    }
}

QSslConfiguration IrcTransport::tlsConfiguration() {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!config_.extraCaFile.isEmpty()) {
        QList<QSslCertificate> ca = QSslCertificate::fromPath(config_.extraCaFile, QSsl::Pem);
        if (ca.isEmpty())
            ca = QSslCertificate::fromPath(config_.extraCaFile, QSsl::Der);
        if (ca.isEmpty()) {
            qCWarning(lcIrc) << "no certificate could be read from" << config_.extraCaFile;
            Q_EMIT failure(QStringLiteral("no certificate in ") + config_.extraCaFile);
        }
        tls.addCaCertificates(ca);
    }
    if (!config_.clientCertFile.isEmpty())
        addClientCertificate(tls);
    return tls;
}

// One PEM file holds both the certificate and its key, as networks' CertFP guides make it.
void IrcTransport::addClientCertificate(QSslConfiguration& tls) {
    QFile file(config_.clientCertFile);
    const QByteArray pem = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa})
        if (key.isNull())
            key = QSslKey(pem, algorithm, QSsl::Pem);
    if (certificates.isEmpty() || key.isNull()) {
        const QString reason = QStringLiteral("no certificate and key in ") + config_.clientCertFile;
        qCWarning(lcIrc) << reason;
        Q_EMIT failure(reason);
        return;
    }
    tls.setLocalCertificate(certificates.constFirst());
    tls.setPrivateKey(key);
}

void IrcTransport::drop() {
    if (!socket_)
        return;
    QSslSocket* old = std::exchange(socket_, nullptr);
    disconnect(old, nullptr, this, nullptr);
    old->abort();
    old->deleteLater();
}

void IrcTransport::closeGracefully(bool serverCloses, int graceMs) {
    if (!socket_) {
        Q_EMIT closed();
        return;
    }
    QSslSocket* closing = std::exchange(socket_, nullptr);
    disconnect(closing, nullptr, this, nullptr);
    connect(closing, &QObject::destroyed, this, &IrcTransport::closed);
    connect(closing, &QSslSocket::disconnected, closing, &QObject::deleteLater);
    QTimer::singleShot(graceMs, closing, [closing] {
        closing->abort();
        closing->deleteLater();
    });
    if (closing->state() != QAbstractSocket::ConnectedState) {
        closing->abort();
        closing->deleteLater();
    } else if (serverCloses) {
        connect(closing, &QSslSocket::readyRead, closing, [closing] { closing->readAll(); });
        closing->readAll();
    } else {
        closing->disconnectFromHost();
    }
}

void IrcTransport::write(const QByteArray& line) {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    qCDebug(lcIrc) << "->" << loggable(line);
    socket_->write(line + "\r\n");
}

void IrcTransport::registered() {
    registered_ = true;
    attemptTimer_.stop();
    watchdog_.start(config_.pingIdleMs);
}

void IrcTransport::joined() {
    if (!steadyTimer_.isActive())
        steadyTimer_.start(config_.steadyMs);
}

void IrcTransport::halt() {
    for (IrcTimer* timer : {&watchdog_, &attemptTimer_, &retryTimer_, &lagTimer_, &steadyTimer_})
        timer->stop();
}

int IrcTransport::retryLater() {
    const int delay = backoff_.nextDelayMs(cause_);
    retryTimer_.start(delay);
    return delay;
}

void IrcTransport::ready() {
    Q_EMIT opened();
}

void IrcTransport::readLines() {
    if (!socket_)
        return;
    inbox_ += socket_->readAll();
    awaitingPong_ = false;
    if (registered_)
        watchdog_.start(config_.pingIdleMs);
    const QPointer<QSslSocket> reading = socket_;
    qsizetype pos = 0;
    for (qsizetype end = inbox_.indexOf('\n'); end >= 0 && socket_ == reading;
         end = inbox_.indexOf('\n', pos)) {
        QByteArray line = inbox_.mid(pos, end - pos);
        pos = end + 1;
        if (std::exchange(discardingLine_, false))
            continue;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > kMaxLineBytes) {
            qCWarning(lcIrc) << "ignored a line of" << line.size() << "bytes from the server";
            continue;
        }
        const IrcMessage message = IrcMessage::parse(line);
        if (message.command == "PONG")
            answered(message);
        if (message.isValid())
            Q_EMIT lineReceived(message);
    }
    if (socket_ != reading)
        return;
    inbox_.remove(0, pos);
    if (inbox_.size() > kMaxLineBytes) {
        qCWarning(lcIrc) << "ignored a line of more than" << kMaxLineBytes << "bytes from the server";
        inbox_.clear();
        discardingLine_ = true;
    }
}

void IrcTransport::watchdogFired() {
    if (awaitingPong_) {
        Q_EMIT lost(QStringLiteral("no answer to PING within %1 ms").arg(config_.pingTimeoutMs));
        return;
    }
    awaitingPong_ = true;
    write(IrcMessage::make("PING", {kPingToken}).serialize());
    watchdog_.start(config_.pingTimeoutMs);
    if (pingSentMs_ < 0) {
        pingSentMs_ = IrcClock::now(config_.clock);
        lagTimer_.start(kLagReportMs);
    }
}

void IrcTransport::answered(const IrcMessage& pong) {
    if (pingSentMs_ < 0 || pong.lastParam() != kPingToken)
        return;
    lagTimer_.stop();
    Q_EMIT lagMeasured(IrcClock::now(config_.clock) - std::exchange(pingSentMs_, -1));
}

} // namespace palvuro
