#include "app/TimerSeconds.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace palvuro {
namespace {

// The longest prefix of s (from i) made of digits.
std::size_t skipDigits(const std::string& s, std::size_t i) {
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    return i;
}

// The leading number of s in the form [sign] digits [. digits] [e [sign] digits].
std::string leadingNumber(const std::string& s) {
    std::size_t i = s.find_first_not_of(" \t");
    if (i == std::string::npos)
        return {};
    const std::size_t start = i;
    if (s[i] == '+' || s[i] == '-')
        ++i;
    const std::size_t intEnd = skipDigits(s, i);
    std::size_t end = intEnd;
    bool digits = intEnd > i;
    if (end < s.size() && s[end] == '.') {
        const std::size_t fracEnd = skipDigits(s, end + 1);
        digits = digits || fracEnd > end + 1;
        end = fracEnd;
    }
    if (!digits)
        return {};
    if (end < s.size() && (s[end] == 'e' || s[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-'))
            ++e;
        const std::size_t expEnd = skipDigits(s, e);
        if (expEnd > e)
            end = expEnd;
    }
    return s.substr(start, end - start);
}

} // namespace

std::int16_t TimerSeconds::parse(const QString& text) {
    std::string number = leadingNumber(text.toStdString());
    if (number.empty())
        return 0;
    if (number[0] == '+')
        number.erase(0, 1);
    const bool negative = number[0] == '-';
    // from_chars ignores the locale that the application sets from the environment.
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    static_cast<void>(end);
    if (error == std::errc::result_out_of_range) {
        const bool tiny = number.find("e-") != std::string::npos || number.find("E-") != std::string::npos;
        value = tiny ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    value = std::nearbyint(value);
    constexpr double lo = std::numeric_limits<std::int16_t>::min();
    constexpr double hi = std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(value < lo ? lo : (value > hi ? hi : value));
}

} // namespace palvuro
