#include "bridge/BridgeWindow.h"

#include "bridge/ConversationLink.h"

#include <QDateTime>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace palvuro {

BridgeWindow::BridgeWindow(ConversationLink& link, QWidget* parent)
    : QWidget(parent), status_(new QLabel(link.status(), this)), log_(new QPlainTextEdit(this)) {
    setWindowTitle(tr("Palvuro Bridge"));
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(LogLines);
    status_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(log_);
    resize(480, 240);
    connect(&link, &ConversationLink::statusChanged, this, [this](const QString& status) {
        status_->setText(status);
        log(status);
    });
    connect(&link, &ConversationLink::failure, this, &BridgeWindow::log);
}

void BridgeWindow::log(const QString& text) {
    log_->appendPlainText(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss ")) + text);
}

} // namespace palvuro
