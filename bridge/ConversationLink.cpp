#include "bridge/ConversationLink.h"

#include "a11y/AccessibilityBus.h"
#include "a11y/AccessibleSearch.h"
#include "a11y/TextReader.h"
#include "bridge/BridgeLog.h"
#include "bridge/ProcessTable.h"
#include "chatclient/ChatRoom.h"
#include "chatclient/IrcRoomLink.h"

namespace palvuro {

namespace {

constexpr QChar kIrcBold(0x02);

// The lines of one text as the bot typed it, its bold markers dropped: a client's input box
// takes neither our markers nor IRC's codes.
QStringList typedLines(const QString& text) {
    QString plain = IrcRoomLink::toIrcFormatting(text);
    plain.remove(kIrcBold);
    return plain.isEmpty() ? QStringList() : plain.split(QStringLiteral("\r\n"));
}

// The client's events that came in while this function's calls waited, handed on when it is
// done.
struct PendingEvents {
    explicit PendingEvents(const AccessibleNode& of) : of_(of) {}
    PendingEvents(const PendingEvents&) = delete;
    PendingEvents& operator=(const PendingEvents&) = delete;
    ~PendingEvents() { AccessibilityBus::dispatchPending(of_); }
    const AccessibleNode& of_;
};

QList<QByteArray> utf8(const QStringList& lines) {
    QList<QByteArray> out;
    for (const QString& line : lines)
        out << line.toUtf8();
    return out;
}

} // namespace

ConversationLink::ConversationLink(ChatRoom& room, const ClientProfile& profile, const QString& conversation,
                                   QObject* parent)
    : QObject(parent), room_(room), profile_(profile), name_(conversation), queue_(IrcSendQueue::Pacing{}) {
    clock_.start();
    room_.setLinePacing(LineIntervalMs);
    room_.setSender([this](const QString& to, const QString& text) { return send(to, text); });
    watch_.setInterval(WatchMs);
    connect(&watch_, &QTimer::timeout, this, &ConversationLink::watch);
    typing_.setSingleShot(true);
    connect(&typing_, &QTimer::timeout, this, &ConversationLink::typeWaiting);
    taken_.setInterval(TakenPollMs);
    connect(&taken_, &QTimer::timeout, this, &ConversationLink::typeNext);
}

ConversationLink::~ConversationLink() {
    room_.setSender({});
}

bool ConversationLink::start(QString* why) {
    if (!AccessibilityBus::connect(why))
        return false;
    setStatus(lookingStatus());
    watch();
    watch_.start();
    return true;
}

void ConversationLink::watch() {
    const PendingEvents pending(conversation_.history);
    if (isAttached()) {
        // A closed tab or an ended client leaves an object that no longer answers.
        if (conversation_.history.characterCount() < 0 ||
            conversation_.history.hasState(AccessibleNode::State::Defunct))
            detach(tr("Lost %1 in %2; looking for it again").arg(name_, profile_.applicationName()));
        else if (outOfRoom_ && profile_.inRoom(conversation_))
            backInRoom();
        return;
    }
    const QList<AccessibleNode> applications =
        AccessibleSearch::applicationsNamed(profile_.applicationName());
    for (const AccessibleNode& application : applications) {
        const Conversation found = profile_.find(application, name_);
        if (!found.isNull()) {
            attach(found);
            return;
        }
    }
    if (applications.isEmpty() && ProcessTable::runs(profile_.processName())) {
        setStatus(
            tr("%1 runs but does not show itself on the accessibility bus").arg(profile_.applicationName()));
        if (!toldHowToShow_)
            Q_EMIT failure(profile_.howToShow());
        toldHowToShow_ = true;
    } else if (!status_.startsWith(tr("Lost"))) {
        setStatus(lookingStatus());
    }
}

void ConversationLink::attach(const Conversation& conversation) {
    conversation_ = conversation;
    // What the conversation said before the bridge came is not the bot's to read.
    reader_ = std::make_unique<TextReader>(conversation_.history);
    connect(reader_.get(), &TextReader::changed, this, &ConversationLink::readNew);
    setStatus(followingStatus());
    if (!queue_.isEmpty())
        typing_.start(0);
}

void ConversationLink::detach(const QString& why) {
    reader_.reset();
    conversation_ = {};
    outOfRoom_ = false;
    qCWarning(lcBridge).noquote() << why;
    room_.report(IrcRoomLink::inert(why));
    setStatus(why);
}

void ConversationLink::leaveRoom() {
    if (outOfRoom_)
        return;
    outOfRoom_ = true;
    // The client sends nothing into a room it is out of: a line it has not taken waits in its
    // box and is typed again, over itself, once the client is back.
    if (taken_.isActive() && !profile_.taken(conversation_))
        toType_.prepend(lastTyped_.toUtf8());
    taken_.stop();
    qCWarning(lcBridge).noquote() << outOfRoomStatus();
    setStatus(outOfRoomStatus());
}

void ConversationLink::backInRoom() {
    outOfRoom_ = false;
    setStatus(followingStatus());
    if (!queue_.isEmpty() || !toType_.isEmpty())
        typing_.start(0);
}

void ConversationLink::readNew() {
    if (!reader_)
        return;
    const PendingEvents pending(conversation_.history);
    QList<TextRun> runs;
    if (!reader_->readNew(&runs))
        return; // the watch finds out whether the conversation is gone
    for (const ConversationLine& line : profile_.parse(runs))
        show(line);
}

void ConversationLink::show(const ConversationLine& line) {
    switch (line.kind) {
    case ConversationLine::Kind::Said:
        if (isOwnEcho(line))
            break;
        nicks_.heard(line.nick);
        // A nick's colons are the client's to show but must not split the bot's line elsewhere.
        room_.hear(IrcRoomLink::inert(line.nick), line.text);
        break;
    case ConversationLine::Kind::Action:
        nicks_.heard(line.nick);
        room_.report(QStringLiteral("* ") + IrcRoomLink::inert(line.nick) + QLatin1Char(' ') +
                     IrcRoomLink::inert(line.text));
        break;
    case ConversationLine::Kind::Notice:
        room_.announce(IrcRoomLink::inert(line.text));
        break;
    case ConversationLine::Kind::Left:
        room_.announce(IrcRoomLink::inert(line.text));
        leaveRoom();
        break;
    case ConversationLine::Kind::Other:
        room_.report(IrcRoomLink::inert(line.text));
        break;
    }
}

bool ConversationLink::isOwnEcho(const ConversationLine& line) {
    if (!ownNick_.isEmpty() && line.nick != ownNick_)
        return false;
    const auto echo = std::find(echoes_.begin(), echoes_.end(), line.text.simplified());
    if (echo == echoes_.end())
        return false;
    echoes_.erase(echo);
    if (ownNick_.isEmpty()) {
        // From now on our lines carry the nick the conversation knows us by, as the bot's do.
        ownNick_ = line.nick;
        room_.setOwnNick(IrcRoomLink::inert(ownNick_));
    }
    return true;
}

bool ConversationLink::send(const QString& to, const QString& text) {
    const ConversationNicks::Target target =
        to.isEmpty() ? ConversationNicks::Target{{}, text} : nicks_.resolve(to, text);
    QStringList lines;
    for (const QString& line : typedLines(target.text))
        lines << (to.isEmpty() ? profile_.roomLine(line) : profile_.privateLine(target.nick, line));
    if (lines.isEmpty())
        return true;
    if (lines.contains(QString())) {
        qCWarning(lcBridge) << "the client cannot send a private line to this nick alone";
        reportUndelivered(QStringLiteral("/msg ") + target.nick + QLatin1Char(' ') + target.text);
        return false;
    }
    if (!isAttached()) {
        for (const QString& line : lines)
            reportUndelivered(line);
        return false;
    }
    if (queue_.push(target.nick.toUtf8(), utf8(lines), to.isEmpty()) == IrcSendQueue::Pushed::Full) {
        qCWarning(lcBridge) << "too many private lines wait; one text was not sent";
        reportUndelivered(lines.first());
        return false;
    }
    for (qsizetype i = 0; to.isEmpty() && i < lines.size(); ++i) {
        echoes_.push_back(lines.at(i).simplified());
        if (echoes_.size() > MaxUnechoed)
            echoes_.pop_front(); // never shown back: typed into a conversation that went away
    }
    if (outOfRoom_)
        setStatus(outOfRoomStatus());
    else if (!typing_.isActive())
        typing_.start(0);
    return true;
}

void ConversationLink::typeWaiting() {
    if (!canType())
        return; // typed once the conversation, or the client in its room, is back
    toType_ << queue_.take(clock_.elapsed());
    if (!taken_.isActive())
        typeNext();
    const qint64 wait = queue_.msUntilNext(clock_.elapsed());
    if (wait >= 0)
        typing_.start(static_cast<int>(wait));
}

void ConversationLink::typeNext() {
    const PendingEvents pending(conversation_.history);
    if (taken_.isActive()) {
        if (isAttached() && !profile_.taken(conversation_)) {
            const qint64 waited = sinceTyped_.elapsed();
            if (waited < TakenWaitMs) {
                // A key press can reach the window before it came to the front, and go to
                // whatever was there: the text still waits in the box, Return is pressed again.
                if (waited >= (presses_ * TakenWaitMs) / MaxPresses && profile_.pressSend(conversation_))
                    ++presses_;
                return;
            }
            qCWarning(lcBridge) << "the client did not take a typed line within" << TakenWaitMs << "ms";
        }
        taken_.stop();
    }
    if (toType_.isEmpty() || !canType())
        return;
    lastTyped_ = QString::fromUtf8(toType_.takeFirst());
    if (!profile_.send(conversation_, lastTyped_)) {
        reportUndelivered(lastTyped_);
        return typeNext();
    }
    presses_ = 1;
    sinceTyped_.start();
    taken_.start();
}

void ConversationLink::reportUndelivered(const QString& typed) {
    qCWarning(lcBridge) << "not delivered: the conversation is not there or refused the text";
    room_.report(tr("(not delivered) ") + IrcRoomLink::inert(typed));
    Q_EMIT failure(tr("Not delivered: %1").arg(typed));
}

void ConversationLink::setStatus(const QString& status) {
    if (status == status_)
        return;
    status_ = status;
    Q_EMIT statusChanged(status_);
}

QString ConversationLink::lookingStatus() const {
    return tr("Looking for %1 in %2").arg(name_, profile_.applicationName());
}

QString ConversationLink::outOfRoomStatus() const {
    return tr("Out of %1 in %2: its account disconnected; %3 of the bot's lines wait until it is back")
        .arg(name_, profile_.applicationName())
        .arg(queue_.size() + toType_.size());
}

QString ConversationLink::followingStatus() const {
    return tr("Following %1 in %2").arg(name_, profile_.applicationName());
}

} // namespace palvuro
