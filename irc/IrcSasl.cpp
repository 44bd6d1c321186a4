#include "irc/IrcSasl.h"

#include "irc/IrcNumeric.h"

namespace palvuro {
namespace {

constexpr qsizetype kPieceBytes = 400;

} // namespace

QList<QByteArray> IrcSasl::plainResponse(const QString& account, const QByteArray& password) {
    const QByteArray name = account.toUtf8();
    const QByteArray plain = name + '\0' + name + '\0' + password;
    const QByteArray encoded = plain.toBase64();
    QList<QByteArray> pieces;
    for (qsizetype pos = 0; pos < encoded.size(); pos += kPieceBytes)
        pieces.append(encoded.mid(pos, kPieceBytes));
    if (encoded.size() % kPieceBytes == 0)
        pieces.append(QByteArrayLiteral("+"));
    return pieces;
}

QString IrcSasl::failureText(int numeric, const QString& account, const QString& certFile) {
    // A certificate names no account: the server finds the account by its fingerprint.
    const bool certificate = !certFile.isEmpty();
    const QString login = certificate ? QStringLiteral("the client certificate %1").arg(certFile)
                                      : QStringLiteral("the account %1").arg(account);
    switch (numeric) {
    case Numeric::ErrNickLocked:
        return QStringLiteral("%1 cannot be used: the nick is locked").arg(login);
    case Numeric::ErrSaslFail:
        return certificate ? QStringLiteral("the server did not accept %1").arg(login)
                           : QStringLiteral("the server did not accept %1 and its password").arg(login);
    case Numeric::ErrSaslTooLong:
        return QStringLiteral("the login with %1 is too long for the server").arg(login);
    case Numeric::ErrSaslAborted:
        return QStringLiteral("the server aborted logging in with %1").arg(login);
    case Numeric::RplSaslMechs:
        return certificate
                   ? QStringLiteral("the server cannot log in with a client certificate (EXTERNAL)")
                   : QStringLiteral("the server cannot log in as %1 with a password (PLAIN)").arg(account);
    default:
        return {};
    }
}

} // namespace palvuro
