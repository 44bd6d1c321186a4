#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <random>

namespace palvuro {

// What the seeded drivers share: the command line "COUNT [SEED]", the random source, and how a
// broken invariant ends the run (the input kept for replay, the reason on stderr, an abort).
class SeededDriver {
public:
    using Random = std::mt19937_64;

    // Reads the command line; ends the program with the usage and status 2 when COUNT is
    // missing or either value is no number.
    SeededDriver(int argc, char** argv);
    std::uint64_t target() const { return target_; }
    std::uint64_t seed() const { return seed_; }
    Random& random() { return random_; }
    // Since the start, at least a millisecond, for the rates the drivers print.
    double seconds() const { return std::max<qint64>(clock_.elapsed(), 1) / 1000.0; }

    // counted names what `count` counts ("lines", "messages"); the input goes to
    // PREFIX-failure-SEED.bin, which the libFuzzer target of that name replays.
    [[noreturn]] void fail(const char* counted, std::uint64_t count, const QString& failure,
                           const QByteArray& input, const char* prefix) const;

private:
    std::uint64_t target_ = 0;
    std::uint64_t seed_ = 1;
    Random random_;
    QElapsedTimer clock_;
};

// A number below bound from the driver's random source.
inline unsigned draw(SeededDriver::Random& random, unsigned bound) {
    return static_cast<unsigned>(random() % bound);
}

// Seeded text that favours what random bytes seldom spell: each piece comes from the first part
// whose share, out of 100, the piece's roll falls below.
class TextMix {
public:
    struct Part {
        unsigned below;
        QByteArrayList pieces;
    };
    explicit TextMix(std::initializer_list<Part> parts) : parts_(parts) {}

    // Up to maxLength pieces.
    QByteArray draw(SeededDriver::Random& random, unsigned maxLength) const;

    static QByteArrayList bytesOf(const char* text); // each byte a piece
    static QByteArrayList range(unsigned first, unsigned count);

private:
    QList<Part> parts_;
};

} // namespace palvuro
