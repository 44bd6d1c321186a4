#include "ProgressBar.h"

#include <QString>

#ifdef Q_OS_WIN
#include <io.h>
#define PALVURO_ISATTY(fd) _isatty(fd)
#define PALVURO_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define PALVURO_ISATTY(fd) isatty(fd)
#define PALVURO_FILENO(f) fileno(f)
#endif

namespace {
constexpr int kWidth = 30;
constexpr qint64 kRedrawMs = 200;
} // namespace

ProgressBar::ProgressBar(std::FILE* stream)
    : stream_(stream), enabled_(PALVURO_ISATTY(PALVURO_FILENO(stream)) != 0) {
    clock_.start();
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::show(double done, qint64 rows) {
    const qint64 now = clock_.elapsed();
    if (!enabled_ || (lastDrawMs_ >= 0 && now - lastDrawMs_ < kRedrawMs && done < 1.0))
        return;
    lastDrawMs_ = now;
    const double seconds = double(now) / 1000.0;
    const int filled = int(done * kWidth);
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
    const qint64 left = done > 0.0 ? qint64(seconds * (1.0 - done) / done) : 0;
    const QString line = QStringLiteral("\r[%1] %2% %3 rows %4 rows/s %5:%6 left ")
                             .arg(bar)
                             .arg(int(done * 100), 3)
                             .arg(rows)
                             .arg(seconds > 0.0 ? qint64(double(rows) / seconds) : 0)
                             .arg(left / 60)
                             .arg(left % 60, 2, 10, QLatin1Char('0'));
    std::fputs(line.toLocal8Bit().constData(), stream_);
    std::fflush(stream_);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (!drawn_)
        return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    drawn_ = false;
}
