#include "admin/UsersEditorWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace palvuro {
namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

UsersEditorWindow::UsersEditorWindow(const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(programFolder) {
    setObjectName(QStringLiteral("frmTriviaUsers"));
    setWindowTitle(QStringLiteral("User Editor"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    load();
}

void UsersEditorWindow::buildControls() {
    users_ = named(new QListWidget(this), "listUsers");
    users_->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* caption = named(new QLabel(QStringLiteral("UserName:"), this), "Label1");
    nick_ = named(new QLineEdit(this), "txtNick");

    auto* options = named(new QGroupBox(QStringLiteral("File Options"), this), "Frame1");
    add_ = named(new QRadioButton(QStringLiteral("&Add"), options), "optAdd");
    delete_ = named(new QRadioButton(QStringLiteral("&Delete"), options), "optDel");
    edit_ = named(new QRadioButton(QStringLiteral("&Edit"), options), "optMod");
    execute_ = named(new QPushButton(QStringLiteral("&Excute"), options), "cmdExe");
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(add_);
    optionsLayout->addWidget(delete_);
    optionsLayout->addWidget(edit_);
    optionsLayout->addWidget(execute_);

    auto* side = new QVBoxLayout;
    side->addWidget(caption);
    side->addWidget(nick_);
    side->addWidget(options);
    side->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(users_, 1);
    layout->addLayout(side);

    add_->setChecked(true);
    connect(execute_, &QPushButton::clicked, this, &UsersEditorWindow::onExecute);
    connect(users_, &QListWidget::itemSelectionChanged, this, &UsersEditorWindow::onSelectionChanged);
    connect(edit_, &QRadioButton::toggled, this, &UsersEditorWindow::onEditMode);
}

void UsersEditorWindow::load() {
    const QFileInfo info(file_.filePath());
    unreadable_ = info.exists() && !info.isReadable();
    if (unreadable_) {
        Notice::exclamation(
            QStringLiteral("\"%1\" cannot be read, so this window cannot change it.").arg(file_.filePath()))
            .show(this);
        return;
    }
    editor_ = UsersEditor(file_.load());
    users_->addItems(editor_.entries());
}

UsersEditor::Mode UsersEditorWindow::mode() const {
    if (add_->isChecked())
        return UsersEditor::Mode::Add;
    if (delete_->isChecked())
        return UsersEditor::Mode::Delete;
    if (edit_->isChecked())
        return UsersEditor::Mode::Edit;
    return UsersEditor::Mode::None;
}

int UsersEditorWindow::selectedRow() const {
    const QList<QListWidgetItem*> selected = users_->selectedItems();
    return selected.isEmpty() ? -1 : users_->row(selected.first());
}

void UsersEditorWindow::onExecute() {
    apply(editor_.execute(mode(), nick_->text(), selectedRow()));
}

void UsersEditorWindow::apply(const UsersEditor::Outcome& outcome) {
    const QSignalBlocker quiet(users_);
    switch (outcome.change) {
    case UsersEditor::Change::Appended:
        users_->addItem(editor_.entries().at(outcome.row));
        break;
    case UsersEditor::Change::Replaced:
        delete users_->takeItem(outcome.row);
        users_->insertItem(outcome.row, editor_.entries().at(outcome.row));
        users_->clearSelection();
        users_->setCurrentRow(-1);
        break;
    case UsersEditor::Change::Nothing:
        break;
    }
    if (outcome.clearNick)
        nick_->clear();
    if (outcome.notice)
        outcome.notice->show(this);
}

void UsersEditorWindow::onSelectionChanged() {
    const int row = selectedRow();
    if (edit_->isChecked() && row >= 0)
        nick_->setText(editor_.entries().at(row));
}

void UsersEditorWindow::onEditMode(bool checked) {
    if (checked)
        onSelectionChanged();
}

void UsersEditorWindow::closeEvent(QCloseEvent* event) {
    if (editor_.changed() && !unreadable_) {
        QString problem;
        if (!file_.save(editor_.entries(), &problem)) {
            // Staying open keeps the operator's changes; the close can be tried again.
            Notice::exclamation(QStringLiteral("The users list could not be saved to \"%1\":\r\n%2")
                                    .arg(file_.filePath(), problem))
                .show(this);
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
}

} // namespace palvuro
