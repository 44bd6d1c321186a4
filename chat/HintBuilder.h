#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace palvuro {

// The half-time hint: the answer with every character hidden but two drawn ones.
class HintBuilder {
public:
    // Uniform in [0, 1).
    using RandomSource = std::function<double()>;

    // The hint text for `answer` revealing the 1-based positions `first` and `second` (0: none).
    // A space shows as two spaces, a revealed character as itself and a space, any other as
    // "_ ".
    static QString build(const QString& answer, int first, int second);
    // Draws two different positions that hold no space and builds the hint. An answer with a
    // single non-space character reveals that one; a one-character answer gets no hint.
    static std::optional<QString> draw(const QString& answer, const RandomSource& random);
    // Uniform doubles from the system's generator.
    static RandomSource systemRandom();
};

} // namespace palvuro
