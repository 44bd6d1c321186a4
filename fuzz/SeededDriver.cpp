#include "fuzz/SeededDriver.h"

#include <QFile>

#include <algorithm>

#include <cstdio>
#include <cstdlib>

namespace palvuro {

SeededDriver::SeededDriver(int argc, char** argv) {
    bool countOk = argc >= 2 && argc <= 3;
    bool seedOk = true;
    if (countOk)
        target_ = QByteArray(argv[1]).toULongLong(&countOk);
    if (argc == 3)
        seed_ = QByteArray(argv[2]).toULongLong(&seedOk);
    if (countOk && seedOk) {
        random_.seed(seed_);
        clock_.start();
        return;
    }
    std::fprintf(stderr, "usage: %s COUNT [SEED]\n", argc > 0 ? argv[0] : "driver");
    std::exit(2);
}

void SeededDriver::fail(const char* counted, std::uint64_t count, const QString& failure,
                        const QByteArray& input, const char* prefix) const {
    std::fprintf(stderr, "invariant broken after %llu %s (seed %llu): %s\n",
                 static_cast<unsigned long long>(count), counted, static_cast<unsigned long long>(seed_),
                 failure.toLocal8Bit().constData());
    QFile kept(QStringLiteral("%1-failure-%2.bin").arg(QLatin1String(prefix)).arg(seed_));
    if (kept.open(QIODevice::WriteOnly)) {
        kept.write(input);
        kept.close();
    }
    std::fflush(stdout);
    std::abort();
}

QByteArray TextMix::draw(SeededDriver::Random& random, unsigned maxLength) const {
    QByteArray out;
    const unsigned length = palvuro::draw(random, maxLength + 1);
    for (unsigned i = 0; i < length; ++i) {
        const unsigned roll = palvuro::draw(random, 100);
        const Part& part = *std::find_if(parts_.cbegin(), parts_.cend() - 1,
                                         [roll](const Part& p) { return roll < p.below; });
        out += part.pieces[palvuro::draw(random, static_cast<unsigned>(part.pieces.size()))];
    }
    return out;
}

QByteArrayList TextMix::bytesOf(const char* text) {
    QByteArrayList pieces;
    for (; *text; ++text)
        pieces.append(QByteArray(1, *text));
    return pieces;
}

QByteArrayList TextMix::range(unsigned first, unsigned count) {
    QByteArrayList pieces;
    for (unsigned byte = first; byte < first + count; ++byte)
        pieces.append(QByteArray(1, static_cast<char>(byte)));
    return pieces;
}

} // namespace palvuro
