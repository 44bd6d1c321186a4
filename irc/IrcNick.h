#pragma once

#include <QByteArray>
#include <QString>

namespace palvuro {

// Nick rules shared by everything that compares or picks nicks.
class IrcNick {
public:
    // Servers compare nicks in the RFC 1459 case mapping, where []\~ are the upper case of {}|^.
    static QByteArray fold(const QByteArray& nick);
    static bool same(const QByteArray& a, const QByteArray& b) { return fold(a) == fold(b); }
    static bool same(const QString& a, const QByteArray& b) { return same(a.toUtf8(), b); }
    // The ATTEMPT-th stand-in (from 1) for a taken WANTED nick, at most MAXLENGTH characters:
    // WANTED_, then WANTED2, WANTED3, ... with WANTED shortened to make room.
    static QString alternative(const QString& wanted, int attempt, int maxLength);
    // A NAMES entry without its membership prefixes (@, +, ...).
    static QByteArray withoutModes(const QByteArray& entry);
};

} // namespace palvuro
