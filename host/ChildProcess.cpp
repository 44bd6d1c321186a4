#include "host/ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace palvuro {

namespace {

QString exitReason(int code, QProcess::ExitStatus status) {
    if (status == QProcess::CrashExit)
        return QStringLiteral("killed by signal %1 (%2)")
            .arg(code)
            .arg(QString::fromLocal8Bit(strsignal(code)));
    return QStringLiteral("exited with status %1").arg(code);
}

} // namespace

ChildProcess::ChildProcess(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {
    clock_.start();
    restartTimer_.setSingleShot(true);
    killTimer_.setSingleShot(true);
    probeTimer_.setInterval(ProbeIntervalMs);
    // Its output is ours: a journal keeps the child's warnings with the host's lines.
    process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    process_.setChildProcessModifier([] {
        // A terminal's ^C reaches the host alone, which ends the children in order; and a
        // host that is killed takes its children with it.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    connect(&process_, &QProcess::finished, this, &ChildProcess::onFinished);
    connect(&process_, &QProcess::readyReadStandardError, this, &ChildProcess::readErrors);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            failed(QStringLiteral("could not be started: %1").arg(process_.errorString()));
    });
    connect(&restartTimer_, &QTimer::timeout, this, &ChildProcess::start);
    connect(&probeTimer_, &QTimer::timeout, this, &ChildProcess::probe);
    connect(&killTimer_, &QTimer::timeout, this, [this] {
        if (isRunning())
            process_.kill();
    });
}

ChildProcess::~ChildProcess() {
    mode_ = Mode::Stopping;
    process_.disconnect(this);
    if (isRunning()) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

void ChildProcess::setCommand(const QString& program, const QStringList& arguments,
                              const QProcessEnvironment& environment) {
    program_ = program;
    arguments_ = arguments;
    process_.setProcessEnvironment(environment);
}

void ChildProcess::setHangLimitMs(int ms) {
    hangLimitMs_ = std::max(ms, 1000);
    probeTimer_.setInterval(std::min(ProbeIntervalMs, hangLimitMs_ / 3));
}

void ChildProcess::start() {
    if (isRunning())
        return;
    mode_ = Mode::Running;
    restartTimer_.stop();
    partial_.clear();
    hangReason_.clear();
    backoff_.started(clock_.elapsed());
    lastAnswerMs_ = clock_.elapsed();
    process_.start(program_, arguments_);
    if (process_.state() == QProcess::NotRunning)
        return; // errorOccurred has scheduled the next try
    probeTimer_.start();
    Q_EMIT started();
}

void ChildProcess::restartNow(const QString& reason) {
    if (!isRunning()) {
        start();
        return;
    }
    pendingReason_ = reason;
    mode_ = Mode::Restarting;
    process_.terminate();
    killTimer_.start(ProbeIntervalMs);
}

void ChildProcess::stop(int graceMs) {
    mode_ = Mode::Stopping;
    restartTimer_.stop();
    probeTimer_.stop();
    if (!isRunning()) {
        Q_EMIT stopped();
        return;
    }
    process_.terminate();
    killTimer_.start(graceMs);
}

void ChildProcess::kill() {
    mode_ = Mode::Stopping;
    restartTimer_.stop();
    probeTimer_.stop();
    if (isRunning())
        process_.kill();
}

void ChildProcess::onFinished(int code, QProcess::ExitStatus status) {
    readErrors();
    probeTimer_.stop();
    killTimer_.stop();
    switch (mode_) {
    case Mode::Stopping:
        Q_EMIT stopped();
        return;
    case Mode::Restarting:
        ++restarts_;
        Q_EMIT restarting(pendingReason_, 0);
        start();
        return;
    case Mode::Running:
        failed(hangReason_.isEmpty() ? exitReason(code, status) : hangReason_);
        return;
    }
}

void ChildProcess::failed(const QString& reason) {
    if (mode_ == Mode::Stopping)
        return;
    const int wait = backoff_.failed(clock_.elapsed());
    ++restarts_;
    Q_EMIT restarting(reason, wait);
    restartTimer_.start(wait);
}

void ChildProcess::readErrors() {
    partial_ += process_.readAllStandardError();
    for (qsizetype end = partial_.indexOf('\n'); end >= 0; end = partial_.indexOf('\n')) {
        const QString text = QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
        Q_EMIT line(text);
    }
}

void ChildProcess::probe() {
    if (!probe_ || !isRunning())
        return;
    if (probe_()) {
        lastAnswerMs_ = clock_.elapsed();
        return;
    }
    if (clock_.elapsed() - lastAnswerMs_ < hangLimitMs_)
        return;
    // SIGKILL: a hung program would not act on SIGTERM either. onFinished restarts it.
    hangReason_ = QStringLiteral("answered no window message for %1 s").arg(hangLimitMs_ / 1000);
    probeTimer_.stop();
    process_.kill();
}

} // namespace palvuro
