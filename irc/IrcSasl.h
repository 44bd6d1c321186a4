#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace palvuro {

// The SASL PLAIN exchange's pieces, kept apart from the connection so nothing else ever holds
// the password in a form that could be logged.
class IrcSasl {
public:
    // The AUTHENTICATE arguments that carry ACCOUNT and PASSWORD: base64 in 400-byte pieces, a
    // lone "+" ending an answer whose last piece was exactly 400 bytes.
    static QList<QByteArray> plainResponse(const QString& account, const QByteArray& password);
    // What a SASL numeric (902 to 908) means for the person running the client, who logs in to
    // ACCOUNT with a password or, when CERTFILE is given, with that client certificate; empty
    // for a numeric that is no failure.
    static QString failureText(int numeric, const QString& account, const QString& certFile);
};

} // namespace palvuro
