#include "app/ListChoice.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace palvuro {
namespace {

bool commitsTypedText(const QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent*>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    if (event->type() == QEvent::FocusOut)
        return static_cast<const QFocusEvent*>(event)->reason() != Qt::PopupFocusReason;
    return false;
}

} // namespace

ListChoice::ListChoice(QComboBox& box) : QObject(&box), box_(box), lineEdit_(box.lineEdit()) {
    // Keys and focus reach the box first, which hands them to its line edit directly (past
    // any filter of the line edit); typed into the line edit itself, they reach it first.
    box_.installEventFilter(this);
    if (lineEdit_)
        lineEdit_->installEventFilter(this);
    connect(&box_, &QComboBox::activated, this, [this](int index) {
        if (!committingTypedText_ && index >= 0)
            Q_EMIT chosen(index);
    });
}

bool ListChoice::eventFilter(QObject* watched, QEvent* event) {
    // Only addresses are compared: events also arrive while the box is being destroyed.
    if ((watched == &box_ || watched == lineEdit_) && commitsTypedText(event)) {
        // The box reacts to this event after the filter returns; the flag covers that reaction
        // and is dropped once the event loop moves on.
        committingTypedText_ = true;
        QTimer::singleShot(0, this, [this] { committingTypedText_ = false; });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace palvuro
