#include "widgets/MessageBox.h"

#include "widgets/Offscreen.h"
#include "widgets/WidgetsLog.h"

#include <QCoreApplication>

namespace palvuro {
namespace {

struct TestHooks {
    bool on = false;
    bool yesNoAnswer = true;
    std::vector<MessageBox::Shown> shown;
};

TestHooks& hooks() {
    static TestHooks instance;
    return instance;
}

QMessageBox::Icon toQt(MessageBox::Icon icon) {
    switch (icon) {
    case MessageBox::Icon::Information:
        return QMessageBox::Information;
    case MessageBox::Icon::Exclamation:
        return QMessageBox::Warning;
    case MessageBox::Icon::Critical:
        return QMessageBox::Critical;
    case MessageBox::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QString title() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Palvuro Trivia") : name;
}

// True when the box was logged instead of shown.
bool logInstead(const char* answer, const QString& text) {
    if (!Offscreen::active())
        return false;
    qCWarning(lcWidgets).nospace().noquote()
        << "a message box nobody can see, answered " << answer << ": " << text;
    return true;
}

} // namespace

void MessageBox::show(QWidget* parent, Icon icon, const QString& text) {
    if (hooks().on) {
        hooks().shown.push_back({icon, text});
        return;
    }
    if (logInstead("OK", text))
        return;
    QMessageBox box(toQt(icon), title(), text, QMessageBox::Ok, parent);
    box.exec();
}

bool MessageBox::askYesNo(QWidget* parent, const QString& text) {
    if (hooks().on) {
        hooks().shown.push_back({Icon::None, text});
        return hooks().yesNoAnswer;
    }
    if (logInstead("Yes", text))
        return true;
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void MessageBox::setTestMode(bool on, bool yesNoAnswer) {
    hooks().on = on;
    hooks().yesNoAnswer = yesNoAnswer;
}

const std::vector<MessageBox::Shown>& MessageBox::shown() {
    return hooks().shown;
}

void MessageBox::clearShown() {
    hooks().shown.clear();
}

} // namespace palvuro
