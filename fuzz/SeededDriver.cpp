#include "fuzz/SeededDriver.h"

#include <QFile>

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

} // namespace palvuro
