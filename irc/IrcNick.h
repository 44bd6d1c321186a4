#pragma once

#include <QString>

namespace palvuro {

// How we pick a nick when ours is taken; comparing nicks is the server's business (IrcNameRules).
class IrcNick {
public:
    // The ATTEMPT-th stand-in (from 1) for a taken WANTED nick, at most MAXLENGTH characters:
    // WANTED_, then WANTED2, WANTED3, ... with WANTED shortened to make room.
    static QString alternative(const QString& wanted, int attempt, int maxLength);
};

} // namespace palvuro
