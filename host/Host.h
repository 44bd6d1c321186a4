#pragma once

#include "host/BotSettings.h"
#include "host/ChildProcess.h"
#include "host/HostOptions.h"
#include "host/StatusTracker.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace palvuro {

class SignalWatcher;
class WindowProbe;

// One channel hosted unattended: palvuro-chat joined to it and palvuro-trivia attached, both
// with no display on a desktop-bus folder of their own, restarted when they fail, stopped in
// order on SIGTERM (the bot's goodbye first, then the client's QUIT), reconfigured on SIGHUP.
class Host : public QObject {
    Q_OBJECT
public:
    // How long each child may take to end cleanly before it is killed.
    static constexpr int BotGraceMs = 3000;
    static constexpr int ClientGraceMs = 1500;

    // ARGUMENTS: the command line as given, read again on SIGHUP.
    Host(QStringList arguments, HostOptions options, QObject* parent = nullptr);
    ~Host() override;

    // Prepares the folders and the bot's settings and starts both; false with *error when the
    // data folder or the bus folder cannot be made.
    bool start(QString* error);

Q_SIGNALS:
    // The host is done: the exit status.
    void finished(int status);

private:
    void onSignal(int number);
    void shutdown();
    void reload();
    void configure();
    void connectChild(ChildProcess& child, QString (StatusTracker::*lineFn)(const QString&),
                      QString (StatusTracker::*goneFn)(const QString&));
    void note(const QString& text);
    void saveStatus();

    QStringList arguments_;
    HostOptions options_;
    BotSettings settings_;
    std::unique_ptr<QTemporaryDir> runtime_;
    StatusTracker tracker_;
    ChildProcess client_;
    ChildProcess bot_;
    std::unique_ptr<SignalWatcher> signals_;
    std::unique_ptr<WindowProbe> probe_;
    QByteArray savedStatus_;
    bool stopping_ = false;
    bool statusUnwritable_ = false;
};

} // namespace palvuro
