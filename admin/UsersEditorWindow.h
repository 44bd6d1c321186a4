#pragma once

#include "admin/UsersEditor.h"
#include "data/UsersList.h"

#include <QWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace palvuro {

// "User Editor": edits a copy of the authorized users list and rewrites "Users List.txt"
// when it closes, and only when a press of "&Excute" changed something.
class UsersEditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit UsersEditorWindow(const QString& programFolder, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void load();
    UsersEditor::Mode mode() const;
    int selectedRow() const;
    void onExecute();
    void apply(const UsersEditor::Outcome& outcome);
    void onSelectionChanged();
    void onEditMode(bool checked);

    UsersList file_;
    UsersEditor editor_;
    bool unreadable_ = false; // the file could not be read: saving would lose its names

    QListWidget* users_ = nullptr;
    QLineEdit* nick_ = nullptr;
    QRadioButton* add_ = nullptr;
    QRadioButton* delete_ = nullptr;
    QRadioButton* edit_ = nullptr;
    QPushButton* execute_ = nullptr;
};

} // namespace palvuro
