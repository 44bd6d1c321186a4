#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace palvuro {

// Turns what someone wants said into PRIVMSG texts the server relays whole.
class IrcLineSplitter {
public:
    // A relayed line is ":PREFIX PRIVMSG TARGET :TEXT" and CR LF in 512 bytes; what is left
    // for TEXT (never less than one four-byte character).
    static int textBudget(int prefixBytes, int targetBytes);
    // One UTF-8 text per non-empty line of TEXT (CR LF, LF and CR all end a line), each at most
    // BUDGET bytes and cut only between whole characters, at a blank when one falls in the last
    // fifth of the budget (the blank itself is dropped); bold that is on at a cut is opened
    // again on the continuation. NUL is dropped.
    static QList<QByteArray> split(const QString& text, int budget);
};

} // namespace palvuro
