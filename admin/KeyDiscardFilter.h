#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

namespace palvuro {

// Discards the key presses a rule rejects before they reach a text control, the way a
// KeyPress handler that sets the character to 0 does. Tab and Backtab always pass so that
// focus still moves.
class KeyDiscardFilter : public QObject {
    Q_OBJECT
public:
    using Rule = bool (*)(const QKeyEvent& event);

    // Installs itself on `target`, which owns it.
    KeyDiscardFilter(QWidget* target, Rule discard);

    // Every key that would change the text: characters, Backspace, Delete, cut, paste, undo.
    static bool anyEdit(const QKeyEvent& event);
    // Every typed character except the digits 0 to 9 and Backspace (paste counts as typed).
    static bool nonDigit(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Rule discard_;
};

} // namespace palvuro
