#pragma once

#include "host/RestartBackoff.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace palvuro {

// One supervised program: started, watched and started again. A child that ends, or that
// stops answering the probe for hangLimitMs, is started again after the backoff's wait; each
// such restart is announced with its reason. Its standard error comes out line by line.
class ChildProcess : public QObject {
    Q_OBJECT
public:
    static constexpr int ProbeIntervalMs = 5000;
    static constexpr int DefaultHangLimitMs = 30000;

    ChildProcess(QString name, QObject* parent = nullptr);
    ~ChildProcess() override;

    QString name() const { return name_; }
    void setCommand(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& environment);
    // PROBE answers whether the running child still handles its messages; none: never hung.
    void setProbe(std::function<bool()> probe) { probe_ = std::move(probe); }
    // A shorter limit is probed more often, so that a hang is noticed close to the limit.
    void setHangLimitMs(int ms);

    void start();
    // Ends the running child and starts it again at once (a changed configuration): SIGTERM,
    // so that it leaves cleanly.
    void restartNow(const QString& reason);
    // Ends it for good: SIGTERM, SIGKILL after GRACEMS; stopped() follows.
    void stop(int graceMs);
    // Ends it for good at once.
    void kill();

    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    qint64 processId() const { return process_.processId(); }
    int restarts() const { return restarts_; }

Q_SIGNALS:
    void started();
    void line(const QString& text);
    // The child ended or hung and starts again in DELAYMS.
    void restarting(const QString& reason, int delayMs);
    void stopped();

private:
    enum class Mode { Running, Restarting, Stopping };
    void onFinished(int code, QProcess::ExitStatus status);
    void readErrors();
    void probe();
    void failed(const QString& reason);

    QString name_;
    QString program_;
    QStringList arguments_;
    QProcess process_;
    QByteArray partial_;
    RestartBackoff backoff_;
    QElapsedTimer clock_;
    QTimer restartTimer_;
    QTimer probeTimer_;
    QTimer killTimer_;
    std::function<bool()> probe_;
    qint64 lastAnswerMs_ = 0;
    int hangLimitMs_ = DefaultHangLimitMs;
    int restarts_ = 0;
    Mode mode_ = Mode::Stopping;
    QString pendingReason_; // why the child now ending is started again at once
    QString hangReason_;    // set when the probe gave up on it
};

} // namespace palvuro
