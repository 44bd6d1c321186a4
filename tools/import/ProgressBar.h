#pragma once

#include <QElapsedTimer>

#include <cstdio>

// A one-line progress bar on a terminal: share done, rows per second and time left, redrawn
// at most a few times a second. Draws nothing unless the stream is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(std::FILE* stream);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void show(double done, qint64 rows);
    // Clears the bar, so that messages after it start on an empty line.
    void finish();

private:
    std::FILE* stream_;
    bool enabled_;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 lastDrawMs_ = -1;
};
