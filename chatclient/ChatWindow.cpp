#include "chatclient/ChatWindow.h"

#include "chatclient/ChatRoom.h"
#include "chatclient/IrcRoomLink.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace palvuro {

namespace {

// A paragraph's display lines: CR LF, CR and LF each end one, as in the room's text.
QStringList displayLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

} // namespace

ChatWindow::ChatWindow(ChatRoom& room, QWidget* parent)
    : QWidget(parent), room_(room), view_(new QPlainTextEdit(this)), nickPicker_(new QComboBox(this)),
      input_(new QLineEdit(this)), sendButton_(new QPushButton(tr("Send"), this)),
      scrollback_(static_cast<std::size_t>(room.keepLines() > 0 ? std::min(room.keepLines(), kScrollbackLines)
                                                                : kScrollbackLines)) {
    setWindowTitle(QStringLiteral("Palvuro 2.0"));
    view_->setObjectName(QStringLiteral("roomText"));
    nickPicker_->setObjectName(QStringLiteral("comboNick"));
    input_->setObjectName(QStringLiteral("txtInput"));
    sendButton_->setObjectName(QStringLiteral("cmdSend"));

    // The room may grow to a million lines: no undo history, and lines are appended in batches.
    view_->setReadOnly(true);
    view_->setUndoRedoEnabled(false);
    view_->setMaximumBlockCount(static_cast<int>(scrollback_));
    nickPicker_->setEditable(true);
    nickPicker_->setInsertPolicy(QComboBox::NoInsert);
    nickPicker_->setMinimumContentsLength(12);

    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(nickPicker_);
    inputRow->addWidget(input_, 1);
    inputRow->addWidget(sendButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(inputRow);
    resize(720, 480);

    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(20);
    connect(&flushTimer_, &QTimer::timeout, this, &ChatWindow::flushPending);
    connect(&room_, &ChatRoom::paragraphShown, this, &ChatWindow::queueParagraph);
    connect(&room_, &ChatRoom::membersChanged, this, &ChatWindow::refillNicks);
    connect(&room_, &ChatRoom::inputChanged, this, [this](const QString& text) {
        if (input_->text() != text)
            input_->setText(text);
    });
    connect(input_, &QLineEdit::textEdited, &room_, &ChatRoom::setInputText);
    connect(input_, &QLineEdit::returnPressed, this, &ChatWindow::send);
    connect(sendButton_, &QPushButton::clicked, this, &ChatWindow::send);

    refillNicks();
    nickPicker_->setCurrentText(room_.ownNick());
    input_->setText(room_.inputText());
    if (room_.text().textLength() > 0)
        queueParagraph(room_.text().plainText());
    flushPending();
}

void ChatWindow::showNetwork(IrcRoomLink& link) {
    if (status_)
        return;
    status_ = new QLabel(link.status(), this);
    status_->setObjectName(QStringLiteral("status"));
    users_ = new QListWidget(this);
    users_->setObjectName(QStringLiteral("users"));
    privateView_ = new QPlainTextEdit(this);
    privateView_->setObjectName(QStringLiteral("privateMessages"));
    privateView_->setReadOnly(true);
    privateView_->setMaximumBlockCount(kPrivateLines);
    privateView_->setPlaceholderText(tr("Private messages to the client"));
    privateView_->setMaximumHeight(120);
    users_->setMaximumWidth(180);

    auto* outer = static_cast<QVBoxLayout*>(layout());
    auto* middle = new QHBoxLayout;
    outer->removeWidget(view_);
    middle->addWidget(view_, 1);
    middle->addWidget(users_);
    outer->insertWidget(0, status_);
    outer->insertLayout(1, middle, 1);
    outer->insertWidget(2, privateView_);
    // Every line typed here is the client's own: the channel hears no other nick from us.
    nickPicker_->setEnabled(false);

    connect(&link, &IrcRoomLink::statusChanged, status_, &QLabel::setText);
    connect(&link, &IrcRoomLink::privateReceived, privateView_,
            [this](const QString& from, const QString& text) {
                privateView_->appendPlainText(QStringLiteral("<") + from + QStringLiteral("> ") + text);
            });
    connect(&link, &IrcRoomLink::noticeReceived, privateView_,
            [this](const QString& from, const QString& text) {
                privateView_->appendPlainText(QStringLiteral("-") + from + QStringLiteral("- ") + text);
            });
    refillNicks();
}

void ChatWindow::flushPending() {
    flushTimer_.stop();
    if (pending_.empty())
        return;
    QString batch = pending_.front();
    for (auto it = std::next(pending_.begin()); it != pending_.end(); ++it)
        batch += QLatin1Char('\n') + *it;
    const std::size_t drawn = pending_.size();
    pending_.clear();
    view_->appendPlainText(batch);
    releaseScrolledOut(drawn);
}

void ChatWindow::releaseScrolledOut(std::size_t drawn) {
#ifdef __GLIBC__
    // Lines that scroll out of a full view free their blocks and layouts in many small pieces
    // that glibc keeps rather than gives back, so over a long run the client's memory creeps up
    // though the view holds no more lines. Returning them once per tenth of the view keeps the
    // memory flat at the cost of one heap walk per few thousand lines.
    drawnSinceRelease_ += drawn;
    if (drawnSinceRelease_ < scrollback_ / 10 || view_->blockCount() < view_->maximumBlockCount())
        return;
    drawnSinceRelease_ = 0;
    malloc_trim(0);
#else
    Q_UNUSED(drawn);
#endif
}

void ChatWindow::queueParagraph(const QString& text) {
    // Lines that would scroll out of the view before it is drawn are dropped at once, and a
    // long burst is drawn in parts: the view never holds much more than its limit, which keeps
    // the client's memory flat however many lines pass.
    for (QString& line : displayLines(text)) {
        pending_.push_back(std::move(line));
        if (pending_.size() > scrollback_)
            pending_.pop_front();
    }
    if (pending_.size() >= kBatchLines)
        flushPending();
    else if (!flushTimer_.isActive())
        flushTimer_.start();
}

void ChatWindow::refillNicks() {
    const QString current = nickPicker_->currentText();
    nickPicker_->clear();
    nickPicker_->addItems(room_.members());
    nickPicker_->setCurrentText(status_ ? room_.ownNick() : current);
    if (users_) {
        users_->clear();
        users_->addItems(room_.members());
    }
}

void ChatWindow::send() {
    const QString nick = nickPicker_->currentText().trimmed();
    if (nick.isEmpty() || nick == room_.ownNick()) {
        room_.sendInput();
        return;
    }
    const QString text = room_.inputText();
    room_.setInputText(QString());
    room_.say(nick, text);
}

} // namespace palvuro
