#include "irc/IrcTransport.h"

#include "irc/IrcLog.h"

#include <QSslSocket>

#include <utility>

namespace palvuro {
namespace {

// A server's line is 512 bytes, its tags up to 8191 more; anything far longer is garbage.
constexpr qsizetype kMaxLineBytes = 16384;

} // namespace

IrcTransport::IrcTransport(const IrcSessionConfig& config, QObject* parent)
    : QObject(parent), config_(config), backoff_(config.backoff) {
    for (QTimer* timer : {&watchdog_, &attemptTimer_, &retryTimer_})
        timer->setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, &IrcTransport::watchdogFired);
    connect(&attemptTimer_, &QTimer::timeout, this, [this] {
        Q_EMIT lost(QStringLiteral("no welcome from the server within %1 ms").arg(config_.registerTimeoutMs));
    });
    connect(&retryTimer_, &QTimer::timeout, this, &IrcTransport::retryDue);
}

IrcTransport::~IrcTransport() {
    drop();
}

void IrcTransport::open() {
    drop();
    inbox_.clear();
    discardingLine_ = false;
    awaitingPong_ = false;
    lastAttemptRefused_ = false;
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
        lastAttemptRefused_ = error == QAbstractSocket::ConnectionRefusedError;
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
    return tls;
}

void IrcTransport::drop() {
    if (!socket_)
        return;
    QSslSocket* old = std::exchange(socket_, nullptr);
    disconnect(old, nullptr, this, nullptr);
    old->abort();
    old->deleteLater();
}

void IrcTransport::closeGracefully(int graceMs) {
    if (!socket_)
        return;
    QSslSocket* closing = std::exchange(socket_, nullptr);
    disconnect(closing, nullptr, this, nullptr);
    connect(closing, &QSslSocket::disconnected, closing, &QObject::deleteLater);
    QTimer::singleShot(graceMs, closing, &QObject::deleteLater);
    closing->disconnectFromHost();
}

void IrcTransport::write(const QByteArray& line) {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    if (line.startsWith("AUTHENTICATE ") || line.startsWith("PASS "))
        qCDebug(lcIrc) << "->" << line.left(line.indexOf(' ')) << "(hidden)";
    else
        qCDebug(lcIrc) << "->" << line;
    socket_->write(line + "\r\n");
}

void IrcTransport::registered() {
    attemptTimer_.stop();
}

void IrcTransport::halt() {
    for (QTimer* timer : {&watchdog_, &attemptTimer_, &retryTimer_})
        timer->stop();
}

int IrcTransport::retryLater() {
    const int delay = backoff_.nextDelayMs(lastAttemptRefused_);
    retryTimer_.start(delay);
    return delay;
}

void IrcTransport::ready() {
    watchdog_.start(config_.pingIdleMs);
    Q_EMIT opened();
}

void IrcTransport::readLines() {
    if (!socket_)
        return;
    inbox_ += socket_->readAll();
    awaitingPong_ = false;
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
    write(IrcMessage::make("PING", {QByteArrayLiteral("palvuro")}).serialize());
    watchdog_.start(config_.pingTimeoutMs);
}

} // namespace palvuro
