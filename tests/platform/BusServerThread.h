#pragma once

#include "platform/BusServer.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

namespace palvuro {

// The other end of the desktop bus for tests and benchmarks: a WindowRegistry published by a
// BusServer on a thread of its own, so that the calling thread can be a bus client. The registry
// and the window procedures belong to the server's thread: touch them in run().
class BusServerThread {
public:
    BusServerThread() : registry_(BusServer::handleBaseForThisProcess()) {
        context_.moveToThread(&thread_);
        thread_.start();
    }
    ~BusServerThread() {
        run([&] {
            server_.reset();
            context_.moveToThread(QCoreApplication::instance()->thread());
        });
        thread_.quit();
        thread_.wait();
    }

    // Runs the function on the server's thread and waits for it; post() does not wait.
    void run(const std::function<void()>& function) {
        QMetaObject::invokeMethod(&context_, function, Qt::BlockingQueuedConnection);
    }
    void post(const std::function<void()>& function) {
        QMetaObject::invokeMethod(&context_, function, Qt::QueuedConnection);
    }
    template <typename F> auto read(F function) {
        decltype(function()) value{};
        run([&] { value = function(); });
        return value;
    }

    bool start() {
        return read([&] {
            server_ = std::make_unique<BusServer>(registry_);
            return server_->start();
        });
    }

    WindowRegistry& registry() { return registry_; }
    QString socketPath() {
        return read([&] { return server_->socketPath(); });
    }

private:
    WindowRegistry registry_;
    QThread thread_;
    QObject context_;
    std::unique_ptr<BusServer> server_;
};

} // namespace palvuro
