#include "chat/AutoConnect.h"

#include "chat/ChatLink.h"
#include "chat/ChatLog.h"
#include "platform/WindowApi.h"

namespace palvuro {

AutoConnect::AutoConnect(ChatLink& link, WindowApi& windows, Attempt attempt, QObject* parent)
    : QObject(parent), link_(link), windows_(windows), attempt_(std::move(attempt)) {
    // One clock does both jobs: while connected it looks whether the client is still there,
    // otherwise it tries to connect.
    timer_.setInterval(RetryMs);
    connect(&timer_, &QTimer::timeout, this, &AutoConnect::check);
}

void AutoConnect::start() {
    timer_.start();
    QTimer::singleShot(0, this, &AutoConnect::check);
}

void AutoConnect::check() {
    if (link_.isClosed()) {
        timer_.stop();
        return;
    }
    if (connected_) {
        if (clientAlive())
            return;
        connected_ = false;
        lastFailure_ = Outcome::Connected;
        qCInfo(lcChat) << "disconnected from the chat client: its windows are gone";
        Q_EMIT disconnected();
    }
    const Outcome outcome = attempt_();
    if (outcome != Outcome::Connected) {
        failed(outcome);
        return;
    }
    connected_ = true;
    lastFailure_ = Outcome::Connected;
    qCInfo(lcChat) << "connected to the chat client as" << link_.botNick();
}

bool AutoConnect::clientAlive() {
    // A window exists as long as it has a class name. A client that misses one answer under
    // load is asked once more before the bot lets go of its room.
    char className[2] = {};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (windows_.getClassName(link_.textWindow(), className, int(sizeof className)) > 0)
            return true;
    }
    return false;
}

void AutoConnect::failed(Outcome outcome) {
    const char* why = "no nick to connect as";
    if (outcome == Outcome::NoClient)
        why = "no window titled \"Palvuro 2.0\"";
    else if (outcome == Outcome::NoRoom)
        why = "no chat room in the \"Palvuro 2.0\" window";
    // Once per kind of failure: a client that takes its time must not fill the log.
    if (outcome != lastFailure_)
        qCWarning(lcChat).nospace() << "cannot connect to the chat client: " << why << "; trying again every "
                                    << RetryMs / 1000 << " s";
    else
        qCDebug(lcChat) << "still cannot connect to the chat client:" << why;
    lastFailure_ = outcome;
}

} // namespace palvuro
