#include "admin/KeyDiscardFilter.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace palvuro {
namespace {

bool isFocusKey(const QKeyEvent& event) {
    return event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab;
}

bool isClipboardEdit(const QKeyEvent& event) {
    return event.matches(QKeySequence::Paste) || event.matches(QKeySequence::Cut) ||
           event.matches(QKeySequence::Undo) || event.matches(QKeySequence::Redo);
}

bool isDigitText(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

KeyDiscardFilter::KeyDiscardFilter(QWidget* target, Rule discard) : QObject(target), discard_(discard) {
    target->installEventFilter(this);
}

bool KeyDiscardFilter::anyEdit(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Backspace || event.key() == Qt::Key_Delete || isClipboardEdit(event))
        return true;
    return !event.text().isEmpty();
}

bool KeyDiscardFilter::nonDigit(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Backspace)
        return false;
    if (event.matches(QKeySequence::Paste))
        return true;
    const bool withCommand = event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    if (withCommand)
        return false; // copy, select all and the like change no digits
    return !isDigitText(event.text());
}

bool KeyDiscardFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (!isFocusKey(key) && discard_(key))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace palvuro
