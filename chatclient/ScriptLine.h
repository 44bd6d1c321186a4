#pragma once

#include <QString>

namespace palvuro {

// One line of a room script:
//   say NICK TEXT      NICK says TEXT: everything after the one blank that ends NICK, as typed
//   wait MS            pause MS milliseconds
//   expect TEXT [MS]   wait until a room line or private delivery that comes after the expect
//                      began holds TEXT in its message. MS (default 60000) is the time-out only
//                      when it is the line's last blank-separated word, all digits, and some
//                      TEXT stands before it ("expect 42" waits for "42" for 60000 ms; to wait
//                      for a text ending in a number, add the time-out). TEXT is everything
//                      after the one blank that ends "expect", less the time-out.
//   join NICK, leave NICK, quit
// Keywords are lower case. Blank lines and lines starting with "#" are no command.
struct ScriptLine {
    enum class Kind { None, Say, Wait, Expect, Join, Leave, Quit };

    static constexpr int kDefaultExpectMs = 60000;

    // A malformed line gives Kind::None with *error set; a blank or comment line leaves it empty.
    static ScriptLine parse(const QString& line, QString* error);

    Kind kind = Kind::None;
    QString nick;
    QString text;
    int ms = 0;
};

} // namespace palvuro
