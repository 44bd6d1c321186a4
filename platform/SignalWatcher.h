#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace palvuro {

// Turns POSIX signals into a Qt signal on the event loop. The handler only writes the signal's
// number into a pipe, the one thing that is safe to do there; the notifier reads it back where
// Qt may run anything. One watcher per process.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(std::initializer_list<int> signals, QObject* parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void received(int signal);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
    std::vector<int> watched_;
};

} // namespace palvuro
