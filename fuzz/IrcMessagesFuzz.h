#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace palvuro {

// What a server sends, as arbitrary bytes cut into lines where the client cuts them. For every
// line: the parser ends; a line it accepts is written back as one line without CR, LF or NUL
// that reads back as the same line; shown text holds no control character; and the text, said
// back, is cut into pieces within the budget that are whole characters and together the text.
// Then, unless WITHSESSION is false, the same bytes go to a real session (IrcSessionFuzz).
class IrcMessagesFuzz {
public:
    // MESSAGES, when given, counts the lines fed.
    static bool run(const std::uint8_t* data, std::size_t size, QString* failure,
                    std::uint64_t* messages = nullptr, bool withSession = true);
};

int fuzzIrcMessages(const std::uint8_t* data, std::size_t size);

} // namespace palvuro
