#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace palvuro {

// One protocol line, as bytes: what a server sent may be in any encoding, so decoding is left
// to whoever shows the text.
struct IrcMessage {
    QList<QPair<QByteArray, QByteArray>> tags; // values unescaped
    QByteArray prefix;                         // whole, e.g. nick!user@host
    QByteArray nick;                           // the prefix's parts; a server prefix is all nick
    QByteArray user;
    QByteArray host;
    QByteArray command; // upper case
    QList<QByteArray> params;

    // Anything at all parses; a line without a command gives an invalid message.
    static IrcMessage parse(const QByteArray& line);
    static IrcMessage make(const QByteArray& command, const QList<QByteArray>& params);

    bool isValid() const { return !command.isEmpty(); }
    int numeric() const; // 0 when the command is not three digits
    QByteArray param(int index) const { return params.value(index); }
    QByteArray lastParam() const { return params.isEmpty() ? QByteArray() : params.last(); }
    QByteArray tag(const QByteArray& key) const;

    // The line without CR LF. CR, LF and NUL are dropped wherever they are, a middle parameter
    // that could not be read back as one (empty, with a blank, or starting with ':') is the last
    // one written, so the result is always exactly one well-formed line.
    QByteArray serialize() const;

    static QByteArray escapeTagValue(const QByteArray& value);
    static QByteArray unescapeTagValue(const QByteArray& value);
};

} // namespace palvuro
