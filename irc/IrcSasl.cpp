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

QString IrcSasl::failureText(int numeric, const QString& account) {
    switch (numeric) {
    case Numeric::ErrNickLocked:
        return QStringLiteral("the account %1 cannot be used: the nick is locked").arg(account);
    case Numeric::ErrSaslFail:
        return QStringLiteral("the server did not accept the account %1 and its password").arg(account);
    case Numeric::ErrSaslTooLong:
        return QStringLiteral("the account %1 or its password is too long for the server").arg(account);
    case Numeric::ErrSaslAborted:
        return QStringLiteral("the server aborted logging in as %1").arg(account);
    case Numeric::RplSaslMechs:
        return QStringLiteral("the server cannot log in as %1 with a password (PLAIN)").arg(account);
    default:
        return {};
    }
}

} // namespace palvuro
