#include "host/Host.h"

#include "chatclient/ClientOptions.h"
#include "data/DataFolder.h"
#include "host/HostLog.h"
#include "host/WindowProbe.h"
#include "platform/SignalWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace palvuro {

namespace {

// Where this host's private desktop-bus folder goes: systemd's RuntimeDirectory= when it gave
// one, else the user's runtime folder, else the temporary folder.
QString runtimeBase() {
    for (const char* name : {"RUNTIME_DIRECTORY", "XDG_RUNTIME_DIR"}) {
        const QString path = qEnvironmentVariable(name).section(QLatin1Char(':'), 0, 0);
        if (!path.isEmpty() && QFileInfo(path).isDir())
            return path;
    }
    return QDir::tempPath();
}

QString sibling(const char* program) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(program));
}

} // namespace

Host::Host(QStringList arguments, HostOptions options, QObject* parent)
    : QObject(parent), arguments_(std::move(arguments)), options_(std::move(options)),
      settings_(options_.folder), client_(QStringLiteral("palvuro-chat")),
      bot_(QStringLiteral("palvuro-trivia")) {
    HostStatus& s = tracker_.status();
    IrcSessionConfig where;
    QString ignored;
    if (ClientOptions::parseUrl(options_.url, &where, &ignored)) {
        s.network = where.host + QLatin1Char(':') + QString::number(where.port);
        s.channel = where.channel;
    }
    s.nick = options_.nick;
    s.since = QDateTime::currentDateTimeUtc();
    s.pid = QCoreApplication::applicationPid();
    connectChild(client_, &StatusTracker::clientLine, &StatusTracker::clientGone);
    connectChild(bot_, &StatusTracker::botLine, &StatusTracker::botGone);
}

Host::~Host() = default;

bool Host::start(QString* error) {
    if (!DataFolder::prepare(options_.folder, error) || !settings_.seed(error) ||
        !settings_.write(options_.settings, error))
        return false;
    runtime_ =
        std::make_unique<QTemporaryDir>(QDir(runtimeBase()).filePath(QStringLiteral("palvuro-host-XXXXXX")));
    if (!runtime_->isValid()) {
        *error = QStringLiteral("cannot create a desktop-bus folder: %1").arg(runtime_->errorString());
        return false;
    }
    // The probe and both children find each other there, and nobody else's windows.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_->path()));
    probe_ = std::make_unique<WindowProbe>();
    client_.setProbe([this] { return probe_->clientAnswers(); });
    bot_.setProbe([this] { return probe_->botAnswers(); });
    if (options_.hangLimitMs > 0) {
        client_.setHangLimitMs(options_.hangLimitMs);
        bot_.setHangLimitMs(options_.hangLimitMs);
    }
    signals_ = std::make_unique<SignalWatcher>(std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP});
    connect(signals_.get(), &SignalWatcher::received, this, &Host::onSignal);
    configure();
    saveStatus();
    note(QStringLiteral("hosting %1 on %2 as %3, data in %4")
             .arg(tracker_.status().channel, tracker_.status().network, options_.nick, options_.folder));
    client_.start();
    bot_.start();
    return true;
}

void Host::configure() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // The bot's lines about its link and its games are what the status file is made of.
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("palvuro.chat.info=true"));
    client_.setCommand(sibling("palvuro-chat"), options_.clientArguments(), env);
    settings_.apply(&env);
    bot_.setCommand(sibling("palvuro-trivia"), options_.botArguments(), env);
}

void Host::connectChild(ChildProcess& child, QString (StatusTracker::*lineFn)(const QString&),
                        QString (StatusTracker::*goneFn)(const QString&)) {
    connect(&child, &ChildProcess::line, this, [this, lineFn](const QString& text) {
        const QString change = (tracker_.*lineFn)(text);
        if (change.isNull())
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
        else
            note(change);
        saveStatus();
    });
    connect(&child, &ChildProcess::started, this, &Host::saveStatus);
    connect(&child, &ChildProcess::restarting, this,
            [this, &child, goneFn](const QString& reason, int delayMs) {
                (tracker_.*goneFn)(reason);
                note(QStringLiteral("%1 %2, restarting it in %3 s")
                         .arg(child.name(), reason)
                         .arg(double(delayMs) / 1000.0));
                saveStatus();
            });
}

void Host::onSignal(int number) {
    if (number == SIGHUP) {
        reload();
        return;
    }
    if (!stopping_) {
        shutdown();
        return;
    }
    note(QStringLiteral("second signal: ending both at once"));
    bot_.kill();
    client_.kill();
    Q_EMIT finished(1);
}

// The bot first, so that its goodbye still reaches the channel; then the client, which leaves
// with a QUIT.
void Host::shutdown() {
    stopping_ = true;
    note(QStringLiteral("stopping"));
    connect(&bot_, &ChildProcess::stopped, this, [this] { client_.stop(ClientGraceMs); });
    connect(&client_, &ChildProcess::stopped, this, [this] {
        tracker_.status().state = QStringLiteral("stopped");
        tracker_.status().botConnected = false;
        tracker_.status().gameRunning = false;
        tracker_.status().since = QDateTime::currentDateTimeUtc();
        saveStatus();
        note(QStringLiteral("stopped"));
        Q_EMIT finished(0);
    });
    bot_.stop(BotGraceMs);
}

void Host::reload() {
    HostOptions fresh;
    QString error, usage;
    if (!HostOptions::parse(arguments_, &fresh, &error, &usage)) {
        note(QStringLiteral("the configuration is not changed: ") + error);
        return;
    }
    const bool clientChanged = fresh.clientArguments() != options_.clientArguments();
    const bool botChanged =
        fresh.botArguments() != options_.botArguments() || fresh.settings != options_.settings;
    if (fresh.folder != options_.folder)
        note(
            QStringLiteral("a new data folder needs a restart of the host; keeping %1").arg(options_.folder));
    fresh.folder = options_.folder;
    options_ = fresh;
    if (!settings_.write(options_.settings, &error))
        note(error);
    configure();
    note(QStringLiteral("configuration read again"));
    if (clientChanged)
        client_.restartNow(QStringLiteral("the configuration changed"));
    if (botChanged)
        bot_.restartNow(QStringLiteral("the configuration changed"));
}

void Host::note(const QString& text) {
    std::fprintf(stderr, "palvuro-host: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
}

void Host::saveStatus() {
    HostStatus& s = tracker_.status();
    s.restarts = client_.restarts() + bot_.restarts();
    s.clientPid = client_.isRunning() ? client_.processId() : 0;
    s.botPid = bot_.isRunning() ? bot_.processId() : 0;
    const QByteArray now = QJsonDocument(s.toJson()).toJson();
    if (now == savedStatus_)
        return;
    QString error;
    if (!s.save(options_.folder, &error)) {
        // Hosting goes on without it; one warning says so, not one per change.
        if (!statusUnwritable_)
            qCWarning(lcHost).noquote() << "status not written:" << error;
        statusUnwritable_ = true;
        return;
    }
    statusUnwritable_ = false;
    savedStatus_ = now;
}

} // namespace palvuro
