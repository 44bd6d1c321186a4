#include "chatclient/ChatRoom.h"

#include "platform/LineBuffer.h"
#include "platform/WindowRegistry.h"
#include "platform/Windows1252.h"

#include <algorithm>
#include <cstring>

namespace palvuro {

namespace {

const QString kSeparator = QStringLiteral("  : ");
constexpr std::int32_t kTrue = 1;
// WM_COMMAND's wParam carries the control id in its low word and BN_CLICKED (0) in its high word.
constexpr WParam kClearButtonId = 1001;
constexpr WParam kSendButtonId = 1002;

// A line or character index as the caller meant it: the low 32 bits, signed, so that -1 keeps
// its meaning whether it crossed as a 32-bit or a 64-bit value.
std::int32_t indexArgument(WParam wParam) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// "/msg NICK text" (the command word in any letter case): the target and the text after the one
// blank that ends the nick. False for anything else, a "/msg" without a nick included.
bool parsePrivate(const QString& text, QString* to, QString* message) {
    static const QString command = QStringLiteral("/msg");
    if (!text.startsWith(command, Qt::CaseInsensitive) || text.size() <= command.size() ||
        !isBlank(text.at(command.size())))
        return false;
    qsizetype pos = command.size();
    while (pos < text.size() && isBlank(text.at(pos)))
        ++pos;
    const qsizetype nickStart = pos;
    while (pos < text.size() && !isBlank(text.at(pos)))
        ++pos;
    if (pos == nickStart)
        return false;
    *to = text.mid(nickStart, pos - nickStart);
    *message = pos < text.size() ? text.mid(pos + 1) : QString();
    return true;
}

} // namespace

struct ChatRoom::Private {
    Private(WindowRegistry& reg, const QString& nick, int wrap) : registry(reg), ownNick(nick), text(wrap) {}

    WindowRegistry& registry;
    QString ownNick;
    QString input;
    RichEditText text;
    QStringList members;
    Sender sender;
    std::unique_ptr<LinePacer> pacer;
    bool notices = true;
    bool sendPushed = false;
    bool clearPushed = false;

    Hwnd main = 0;
    Hwnd room = 0;
    Hwnd textWindow = 0;
    Hwnd inputBox = 0;
    Hwnd nickList = 0;
    Hwnd topic = 0;
    Hwnd clearButton = 0;
    Hwnd sendButton = 0;
};

ChatRoom::ChatRoom(WindowRegistry& registry, const QString& ownNick, int wrapColumns, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(registry, ownNick, wrapColumns)) {
    d->members << ownNick;
    // The bot finds the room by the title, the first "AfxWnd70u" descendant, its first
    // "RichEdit20W" and "Edit" children and the sixth window under the room: none of the first
    // five may get children of its own, or the Send button moves.
    d->main = registry.create(0, "PalvuroChatMain", "Palvuro 2.0");
    d->room = registry.create(d->main, "AfxWnd70u", {},
                              [this](std::uint32_t msg, WParam w, LParam l) { return roomProc(msg, w, l); });
    d->textWindow =
        registry.create(d->room, "RichEdit20W", {},
                        [this](std::uint32_t msg, WParam w, LParam l) { return textProc(msg, w, l); });
    // The bot asks the text for its line count a hundred times a second; announcing every
    // change lets the bus answer those questions without waking this process.
    registry.announceChanges(d->textWindow);
    d->text.setChangeHandler([this] { d->registry.changed(d->textWindow); });
    d->inputBox = registry.create(d->room, "Edit", {},
                                  [this](std::uint32_t msg, WParam, LParam l) { return inputProc(msg, l); });
    d->nickList = registry.create(d->room, "ListBox");
    d->topic = registry.create(d->room, "Static", "Local room");
    d->clearButton = registry.create(d->room, "Button", "Clear", [this](std::uint32_t msg, WParam, LParam) {
        return buttonProc(msg, d->clearButton, kClearButtonId, d->clearPushed);
    });
    d->sendButton = registry.create(d->room, "Button", "Send", [this](std::uint32_t msg, WParam, LParam) {
        return buttonProc(msg, d->sendButton, kSendButtonId, d->sendPushed);
    });
}

ChatRoom::~ChatRoom() {
    d->registry.destroy(d->main);
}

Hwnd ChatRoom::mainWindow() const {
    return d->main;
}
Hwnd ChatRoom::roomWindow() const {
    return d->room;
}
Hwnd ChatRoom::textWindow() const {
    return d->textWindow;
}
Hwnd ChatRoom::inputBox() const {
    return d->inputBox;
}
Hwnd ChatRoom::sendButton() const {
    return d->sendButton;
}

void ChatRoom::setSender(Sender sender) {
    d->sender = std::move(sender);
}

void ChatRoom::setLinePacing(int intervalMs) {
    if (intervalMs <= 0)
        d->pacer.reset();
    else
        d->pacer = std::make_unique<LinePacer>(intervalMs, [this](const QString& p) { append(p); });
}

void ChatRoom::setKeepLines(int lines) {
    d->text.setRowLimit(lines);
}

int ChatRoom::keepLines() const {
    return d->text.rowLimit();
}

QString ChatRoom::ownNick() const {
    return d->ownNick;
}

void ChatRoom::setOwnNick(const QString& nick) {
    if (nick == d->ownNick)
        return;
    const qsizetype at = d->members.indexOf(d->ownNick);
    if (at >= 0)
        d->members[at] = nick;
    d->ownNick = nick;
    Q_EMIT membersChanged();
}

void ChatRoom::say(const QString& nick, const QString& text) {
    const QString command = text.trimmed();
    if (command.compare(QLatin1String("/notifyoff"), Qt::CaseInsensitive) == 0) {
        d->notices = false;
        return;
    }
    if (command.compare(QLatin1String("/notifyon"), Qt::CaseInsensitive) == 0) {
        d->notices = true;
        return;
    }
    QString to;
    QString message;
    const bool sent = nick == d->ownNick && d->sender;
    if (parsePrivate(text, &to, &message)) {
        if (sent && !d->sender(to, message))
            return;
        // The typed line stays in the window it was typed in; its "/msg " keeps it from
        // passing for a room line with a nick.
        show(QStringLiteral("/msg ") + to + kSeparator + message + QLatin1Char(' '));
        Q_EMIT privateMessage(nick, to, message);
        return;
    }
    if (text.isEmpty())
        return; // an empty input line is not sent, as in any chat client
    if (sent && !d->sender(QString(), text))
        return;
    showLine(nick, text, LinePacer::Kind::Kept);
}

void ChatRoom::hear(const QString& nick, const QString& text) {
    showLine(nick, text, LinePacer::Kind::Chat);
}

void ChatRoom::showLine(const QString& nick, const QString& text, LinePacer::Kind kind) {
    show(nick + kSeparator + text + QLatin1Char(' '), kind);
    Q_EMIT roomLine(nick, text);
}

void ChatRoom::join(const QString& nick) {
    if (d->members.contains(nick))
        return;
    if (d->members.size() < MaxMembers)
        d->members << nick;
    Q_EMIT membersChanged();
    announce(nick + QStringLiteral(" has joined the room"));
}

void ChatRoom::leave(const QString& nick) {
    if (!d->members.removeOne(nick))
        return;
    Q_EMIT membersChanged();
    announce(nick + QStringLiteral(" has left the room"));
}

void ChatRoom::setMembers(const QStringList& nicks) {
    QStringList members{d->ownNick};
    for (const QString& nick : nicks)
        if (nick != d->ownNick && members.size() < MaxMembers)
            members << nick;
    if (members == d->members)
        return;
    d->members = members;
    Q_EMIT membersChanged();
}

QString ChatRoom::inputText() const {
    return d->input;
}

void ChatRoom::setInputText(const QString& text) {
    if (text == d->input)
        return;
    d->input = text;
    Q_EMIT inputChanged(text);
}

void ChatRoom::sendInput() {
    const QString text = d->input;
    setInputText(QString());
    say(d->ownNick, text);
}

QStringList ChatRoom::members() const {
    return d->members;
}
bool ChatRoom::noticesOn() const {
    return d->notices;
}

const RichEditText& ChatRoom::text() const {
    return d->text;
}
RichEditText& ChatRoom::text() {
    return d->text;
}

void ChatRoom::show(const QString& paragraph, LinePacer::Kind kind) {
    if (d->pacer)
        d->pacer->push(paragraph, kind);
    else
        append(paragraph);
}

void ChatRoom::append(const QString& paragraph) {
    d->text.appendParagraph(paragraph);
    Q_EMIT paragraphShown(paragraph);
    Q_EMIT textChanged();
}

void ChatRoom::announce(const QString& line) {
    if (d->notices)
        report(line);
}

void ChatRoom::report(const QString& line, LinePacer::Kind kind) {
    show(line, kind);
    Q_EMIT notice(line);
}

LResult ChatRoom::roomProc(std::uint32_t msg, WParam wParam, LParam lParam) {
    if (msg != wm::Command)
        return 0;
    const Hwnd from = static_cast<Hwnd>(lParam);
    const WParam id = wParam & 0xFFFF;
    if (from == d->sendButton && id == kSendButtonId)
        sendInput();
    else if (from == d->clearButton && id == kClearButtonId)
        setInputText(QString());
    return 0;
}

LResult ChatRoom::buttonProc(std::uint32_t msg, Hwnd button, WParam id, bool& pushed) {
    // A click is a button-down followed by a button-up on the same button; the click reaches
    // the parent as WM_COMMAND, as a real button reports it.
    if (msg == wm::LButtonDown) {
        pushed = true;
    } else if (msg == wm::LButtonUp && pushed) {
        pushed = false;
        d->registry.dispatch(d->room, wm::Command, id, static_cast<LParam>(button));
    }
    return 0;
}

LResult ChatRoom::inputProc(std::uint32_t msg, LParam lParam) {
    if (msg != wm::SetText)
        return 0;
    const auto* bytes = reinterpret_cast<const char*>(lParam);
    setInputText(bytes ? Windows1252::decode(bytes, static_cast<int>(std::strlen(bytes))) : QString());
    return kTrue;
}

LResult ChatRoom::textProc(std::uint32_t msg, WParam wParam, LParam lParam) {
    switch (msg) {
    case wm::GetLineCount:
        return d->text.lineCount();
    case wm::LineIndex:
        return d->text.lineIndex(indexArgument(wParam));
    case wm::LineLength:
        return d->text.lineLength(indexArgument(wParam));
    case wm::GetLine:
        return copyLine(indexArgument(wParam), reinterpret_cast<char*>(lParam));
    default:
        return 0;
    }
}

LResult ChatRoom::copyLine(std::int32_t line, char* buffer) const {
    // The capacity in the buffer's first two bytes counts characters; an ANSI caller gets at
    // most that many bytes, and a NUL only when there is room for it.
    if (!buffer)
        return 0;
    const int capacity = LineBuffer::capacity(buffer);
    const QString row = d->text.lineWithMark(line);
    if (row.isEmpty() || capacity == 0)
        return 0;
    const QByteArray bytes = Windows1252::encode(row.left(capacity));
    const int count = std::min(capacity, static_cast<int>(bytes.size()));
    std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(count));
    if (count < capacity)
        buffer[count] = '\0';
    return count;
}

} // namespace palvuro
