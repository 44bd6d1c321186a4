#include "chatclient/IrcRoomLink.h"

#include "chatclient/ChatClientLog.h"
#include "chatclient/ChatRoom.h"
#include "irc/IrcChannel.h"
#include "platform/Windows1252BestFit.h"

#include <QRegularExpression>

namespace palvuro {

namespace {

const QLatin1String kBoldOn("<b>");
const QLatin1String kBoldOff("</b>");
constexpr QChar kIrcBold(0x02);
// Looks like a colon to a person; the bot reads it as "?" and finds no nick or command in it.
constexpr QChar kInertColon(0xA789);

// What a network line may hold before it is shown: a lone CR or LF would start a line of its
// own in the window, in which a chatter could write any nick.
QString oneLine(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            out += QLatin1Char(' ');
        else if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            out += c;
    }
    return out;
}

// A private reply goes to a nick, never to a channel or to several targets at once.
bool isNick(const QString& nick) {
    static const QString forbidden = QStringLiteral(" ,*?!@:#&");
    if (nick.isEmpty() || nick.at(0).isDigit() || nick.at(0) == QLatin1Char('+') ||
        nick.at(0) == QLatin1Char('-'))
        return false;
    for (const QChar c : nick)
        if (c.unicode() <= 0x20 || forbidden.contains(c))
            return false;
    return true;
}

} // namespace

IrcRoomLink::IrcRoomLink(ChatRoom& room, IrcSession& session, const IrcSessionConfig& where, QObject* parent)
    : QObject(parent), room_(room), session_(session),
      notices_(NoticeWindowMs, [this](const QString& line) { room_.announce(line); }),
      server_(where.host + QLatin1Char(':') + QString::number(where.port)), channel_(where.channel) {
    room_.setLinePacing(LineIntervalMs);
    room_.setSender([this](const QString& to, const QString& text) { return send(to, text); });

    connect(&session_, &IrcSession::stateChanged, this, &IrcRoomLink::onStateChanged);
    connect(&session_, &IrcSession::reconnectIn, this, [this](int seconds) {
        setStatus(refusal_.isEmpty()
                      ? tr("Reconnecting in %1 s").arg(seconds)
                      : tr("Refused by the server (%1); reconnecting in %2 s").arg(refusal_).arg(seconds));
    });
    connect(&session_, &IrcSession::refused, this, [this](const QString& reason) {
        refusal_ = oneLine(reason);
        Q_EMIT noticeReceived(QString(), tr("Refused by the server: %1").arg(refusal_));
    });
    connect(&session_, &IrcSession::gaveUp, this, [this](const QString& reason) {
        Q_EMIT noticeReceived(QString(), oneLine(reason));
        setStatus(tr("Stopped: %1").arg(oneLine(reason)));
    });
    connect(&session_, &IrcSession::lagMeasured, this, [this](qint64 ms) {
        lagMs_ = ms;
        if (session_.state() == IrcSession::State::Joined)
            setStatus(joinedStatus());
    });
    connect(&session_, &IrcSession::outsideChannel, this, [this](const QString& why, int seconds) {
        const QString wait = seconds < 120 ? tr("%1 s").arg(seconds) : tr("%1 min").arg((seconds + 59) / 60);
        setStatus(tr("Not in %1: %2; joining again in %3").arg(channel_, oneLine(why), wait));
    });
    connect(&session_, &IrcSession::nickInUse, this, [this](const QString& wanted, const QString& instead) {
        setStatus(tr("Nick %1 in use, %2 until it is free").arg(wanted, instead));
    });
    connect(&session_, &IrcSession::channelMessage, this,
            [this](const QString& nick, const QString& text) { room_.hear(oneLine(nick), oneLine(text)); });
    connect(&session_, &IrcSession::channelAction, this, [this](const QString& nick, const QString& text) {
        room_.report(QStringLiteral("* ") + inert(nick) + QLatin1Char(' ') + inert(text),
                     LinePacer::Kind::Chat);
    });
    connect(&session_, &IrcSession::privateMessage, this, [this](const QString& nick, const QString& text) {
        Q_EMIT privateReceived(oneLine(nick), oneLine(text));
    });
    connect(&session_, &IrcSession::privateAction, this, [this](const QString& nick, const QString& text) {
        Q_EMIT privateReceived(oneLine(nick),
                               QStringLiteral("* ") + oneLine(nick) + QLatin1Char(' ') + oneLine(text));
    });
    connect(&session_, &IrcSession::notice, this, [this](const QString& from, const QString& text) {
        Q_EMIT noticeReceived(oneLine(from), oneLine(text));
    });
    connect(&session_, &IrcSession::failure, this,
            [this](const QString& reason) { Q_EMIT noticeReceived(QString(), oneLine(reason)); });
    // Queued lines the connection lost on its way down.
    connect(&session_, &IrcSession::undelivered, this, [this](const QString& target, const QString& text) {
        reportUndelivered(target == channel_ ? QString() : target, text);
    });
    const IrcChannel* channel = &session_.channel();
    connect(channel, &IrcChannel::joined, this,
            [this](const QString& nick) { notices_.joined(inert(nick)); });
    const auto left = [this](const QString& nick) { notices_.left(inert(nick)); };
    connect(channel, &IrcChannel::parted, this, left);
    connect(channel, &IrcChannel::quit, this, left);
    connect(channel, &IrcChannel::kicked, this,
            [this](const QString& nick, const QString& by) { notices_.kicked(inert(nick), inert(by)); });
    connect(channel, &IrcChannel::nickChanged, this, &IrcRoomLink::onNickChanged);
    connect(channel, &IrcChannel::usersChanged, this, [this] { room_.setMembers(session_.users()); });
    onStateChanged(session_.state());
}

QString IrcRoomLink::toIrcFormatting(const QString& text) {
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    QStringList out;
    bool bold = false;
    for (const QString& line : lines) {
        QString irc = bold ? QString(kIrcBold) : QString();
        bool said = false;
        for (qsizetype i = 0; i < line.size();) {
            const bool on = line.mid(i, kBoldOn.size()).compare(kBoldOn, Qt::CaseInsensitive) == 0;
            const bool off = !on && line.mid(i, kBoldOff.size()).compare(kBoldOff, Qt::CaseInsensitive) == 0;
            if (on || off) {
                if (bold != on)
                    irc += kIrcBold;
                bold = on;
                i += on ? kBoldOn.size() : kBoldOff.size();
                continue;
            }
            said = said || !line.at(i).isSpace();
            irc += line.at(i++);
        }
        if (said)
            out << irc;
    }
    return out.join(QStringLiteral("\r\n"));
}

QString IrcRoomLink::inert(const QString& text) {
    QString out = oneLine(text);
    // The bot reads the window in Windows-1252, where best fit turns a fullwidth or ratio colon
    // into ':' again: each of them is a colon to the bot.
    for (QChar& c : out)
        if (c == QLatin1Char(':') || Windows1252BestFit::byteFor(c.unicode()) == ':')
            c = kInertColon;
    return out;
}

bool IrcRoomLink::send(const QString& to, const QString& text) {
    const QString irc = toIrcFormatting(text);
    bool sent = false;
    if (to.isEmpty())
        sent = session_.say(irc);
    else if (isNick(to))
        sent = session_.sayTo(to, irc);
    if (!sent) {
        qCWarning(lcChatClient) << "not delivered, the client is not in the channel or the target is no nick";
        reportUndelivered(to, text);
    }
    return sent;
}

void IrcRoomLink::reportUndelivered(const QString& to, const QString& text) {
    const QString typed = to.isEmpty() ? text : QStringLiteral("/msg ") + to + QLatin1Char(' ') + text;
    room_.report(tr("(not delivered) ") + inert(typed));
}

void IrcRoomLink::setStatus(const QString& status) {
    if (status == status_)
        return;
    status_ = status;
    Q_EMIT statusChanged(status_);
}

void IrcRoomLink::onStateChanged(IrcSession::State state) {
    switch (state) {
    case IrcSession::State::Disconnected:
        setStatus(tr("Disconnected"));
        break;
    case IrcSession::State::Connecting:
        setStatus(tr("Connecting to %1").arg(server_));
        break;
    case IrcSession::State::Registering:
        setStatus(tr("Logging in to %1").arg(server_));
        break;
    case IrcSession::State::Joined:
        refusal_.clear();
        lagMs_ = 0;
        room_.setOwnNick(session_.nick());
        setStatus(joinedStatus());
        break;
    case IrcSession::State::Reconnecting:
        break; // reconnectIn says when
    }
}

void IrcRoomLink::onNickChanged(const QString& oldNick, const QString& newNick) {
    notices_.renamed(inert(oldNick), inert(newNick));
    if (session_.nick() != room_.ownNick()) {
        room_.setOwnNick(session_.nick());
        if (session_.state() == IrcSession::State::Joined)
            setStatus(joinedStatus());
    }
}

QString IrcRoomLink::joinedStatus() const {
    const QString joined = tr("Joined %1 as %2").arg(channel_, session_.nick());
    return lagMs_ > ShownLagMs ? joined + tr(" (lag %1 s)").arg(lagMs_ / 1000) : joined;
}

} // namespace palvuro
