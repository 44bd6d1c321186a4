#pragma once

#include <QMessageBox>
#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace palvuro {

// The program's message boxes. Tests set the next answer and read what was shown instead of
// facing a modal dialog. Where nobody can see a box (no display), it is not opened: its text goes
// to the log as a warning and it is answered with its default button, so an unattended program
// never stops on a dialog.
class MessageBox {
public:
    enum class Icon { None, Information, Exclamation, Critical };
    struct Shown {
        Icon icon;
        QString text;
    };

    // An OK box.
    static void show(QWidget* parent, Icon icon, const QString& text);
    // Yes/No with Yes the default; true for Yes.
    static bool askYesNo(QWidget* parent, const QString& text);

    // Test hooks: while set, no dialog opens; every box is recorded and askYesNo answers
    // the given value.
    static void setTestMode(bool on, bool yesNoAnswer = true);
    static const std::vector<Shown>& shown();
    static void clearShown();
};

} // namespace palvuro
