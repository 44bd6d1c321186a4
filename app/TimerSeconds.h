#pragma once

#include <QString>

#include <cstdint>

namespace palvuro {

// A timer box's text as seconds: the number at the start of the text (leading blanks skipped,
// sign, decimals and exponent allowed), 0 when there is none, taken to the nearest integer
// (halves to even) and held to the 16-bit range of the fields.
class TimerSeconds {
public:
    static std::int16_t parse(const QString& text);
};

} // namespace palvuro
