#pragma once

#include <QObject>
#include <QTimer>

namespace palvuro {

class TickSchedule;

// Runs the schedule's due timers from the Qt event loop: one precise single-shot timer, armed
// for the next deadline, so nothing wakes the program while every timer is off.
class QtTickDriver : public QObject {
    Q_OBJECT
public:
    explicit QtTickDriver(TickSchedule& schedule, QObject* parent = nullptr);
    ~QtTickDriver() override;

private:
    void wake();
    void arm();

    TickSchedule& schedule_;
    QTimer wakeUp_;
};

} // namespace palvuro
