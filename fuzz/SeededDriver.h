#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <random>

namespace palvuro {

// What the seeded drivers share: the command line "COUNT [SEED]", the random source, and how a
// broken invariant ends the run (the input kept for replay, the reason on stderr, an abort).
class SeededDriver {
public:
    using Random = std::mt19937_64;

    // False, with the usage on stderr, when COUNT is missing or either value is no number.
    bool parse(int argc, char** argv);
    std::uint64_t target() const { return target_; }
    std::uint64_t seed() const { return seed_; }
    Random& random() { return random_; }

    // counted names what `count` counts ("lines", "messages"); the input goes to
    // PREFIX-failure-SEED.bin, which the libFuzzer target of that name replays.
    [[noreturn]] void fail(const char* counted, std::uint64_t count, const QString& failure,
                           const QByteArray& input, const char* prefix) const;

private:
    std::uint64_t target_ = 0;
    std::uint64_t seed_ = 1;
    Random random_;
};

// A number below bound from the driver's random source.
inline unsigned draw(SeededDriver::Random& random, unsigned bound) {
    return static_cast<unsigned>(random() % bound);
}

} // namespace palvuro
