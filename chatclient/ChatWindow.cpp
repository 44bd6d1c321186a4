#include "chatclient/ChatWindow.h"

#include "chatclient/ChatRoom.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace palvuro {

namespace {

// Beyond this many waiting characters the batch is drawn at once, so that a burst of lines
// never piles up a second copy of the room in memory.
constexpr qsizetype kMaxPending = 1 << 16;

QString displayed(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

ChatWindow::ChatWindow(ChatRoom& room, QWidget* parent)
    : QWidget(parent), room_(room), view_(new QPlainTextEdit(this)), nickPicker_(new QComboBox(this)),
      input_(new QLineEdit(this)), sendButton_(new QPushButton(tr("Send"), this)) {
    setWindowTitle(QStringLiteral("Palvuro 2.0"));
    view_->setObjectName(QStringLiteral("roomText"));
    nickPicker_->setObjectName(QStringLiteral("comboNick"));
    input_->setObjectName(QStringLiteral("txtInput"));
    sendButton_->setObjectName(QStringLiteral("cmdSend"));

    // The room may grow to a million lines: no undo history, and lines are appended in batches.
    view_->setReadOnly(true);
    view_->setUndoRedoEnabled(false);
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
        view_->setPlainText(room_.text().plainText());
}

void ChatWindow::flushPending() {
    flushTimer_.stop();
    if (pending_.isEmpty())
        return;
    view_->appendPlainText(pending_);
    pending_.clear();
}

void ChatWindow::queueParagraph(const QString& text) {
    if (!pending_.isEmpty())
        pending_.append(QLatin1Char('\n'));
    pending_.append(displayed(text));
    if (pending_.size() > kMaxPending)
        flushPending();
    else if (!flushTimer_.isActive())
        flushTimer_.start();
}

void ChatWindow::refillNicks() {
    const QString current = nickPicker_->currentText();
    nickPicker_->clear();
    nickPicker_->addItems(room_.members());
    nickPicker_->setCurrentText(current);
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
