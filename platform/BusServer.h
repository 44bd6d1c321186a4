#pragma once

#include "platform/WindowApi.h"

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace palvuro {

class WindowRegistry;

// Publishes a process's WindowRegistry on the desktop bus: a QLocalServer socket named after
// the process id in the per-user bus folder (DesktopBusFolder). Requests are answered on the
// Qt event loop of the thread that owns the server. Connections from other users are refused;
// malformed, truncated or oversized frames close that connection and nothing else.
class BusServer : public QObject {
    Q_OBJECT
public:
    explicit BusServer(WindowRegistry& registry, QObject* parent = nullptr);
    ~BusServer() override;

    // Listens; false (with errorString()) when the folder or socket cannot be made.
    bool start();
    QString socketPath() const;
    QString errorString() const;

    // The handle base a process should give its WindowRegistry so that its handles are
    // unique on the desktop and tell the bus which process owns them.
    static Hwnd handleBaseForThisProcess();
    // Whether a server of this process answers on the calling thread: a call from here to it
    // could never be answered while the caller waits.
    static bool answersOnThisThread();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace palvuro
