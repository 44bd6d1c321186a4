#include "admin/ScoreEditorWindow.h"

#include "admin/KeyDiscardFilter.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace palvuro {
namespace {

constexpr int MaxNick = 39;
constexpr int MaxScoreDigits = 9;

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

ScoreEditorWindow::ScoreEditorWindow(const TriviaStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), editor_(store) {
    setObjectName(QStringLiteral("frmEditScores"));
    setWindowTitle(QStringLiteral("Edit Scores"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);
    buildMenu(layout);
    layout->addWidget(buildFindFrame());
    layout->addWidget(buildScoreFrame());
}

void ScoreEditorWindow::buildMenu(QVBoxLayout* layout) {
    auto* bar = new QMenuBar(this);
    QMenu* reset = named(bar->addMenu(QStringLiteral("Re&set Scores")), "mnu_Reset");
    QAction* resetAll = named(reset->addAction(QStringLiteral("Reset &All Scores")), "mnuResetAll");
    layout->setMenuBar(bar);
    connect(resetAll, &QAction::triggered, this, &ScoreEditorWindow::onResetAll);
}

QWidget* ScoreEditorWindow::buildFindFrame() {
    auto* box = named(new QGroupBox(QStringLiteral("Find Player"), this), "Frame1");
    auto* caption = named(new QLabel(QStringLiteral("Enter Nick To Edit"), box), "Label1");
    search_ = named(new QLineEdit(box), "txtSearch");
    search_->setMaxLength(MaxNick);
    find_ = named(new QPushButton(QStringLiteral("&Find"), box), "cmdFind");

    auto* layout = new QVBoxLayout(box);
    layout->addWidget(caption);
    auto* row = new QHBoxLayout;
    row->addWidget(search_, 1);
    row->addWidget(find_);
    layout->addLayout(row);
    connect(find_, &QPushButton::clicked, this, &ScoreEditorWindow::onFind);
    return box;
}

QWidget* ScoreEditorWindow::buildScoreFrame() {
    auto* box = named(new QGroupBox(QStringLiteral("Edit Player`s Score"), this), "Frame2");
    score_ = named(new QLineEdit(box), "txtScore");
    score_->setMaxLength(MaxScoreDigits);
    new KeyDiscardFilter(score_, &KeyDiscardFilter::nonDigit);
    update_ = named(new QPushButton(QStringLiteral("Up&date"), box), "cmdUpdate");

    auto* layout = new QHBoxLayout(box);
    layout->addWidget(score_, 1);
    layout->addWidget(update_);
    connect(update_, &QPushButton::clicked, this, &ScoreEditorWindow::onUpdate);
    return box;
}

void ScoreEditorWindow::onFind() {
    score_->clear();
    const ScoreEditor::FindOutcome outcome = editor_.find(search_->text());
    score_->setText(outcome.scoreText);
    if (outcome.notice)
        outcome.notice->show(this);
    if (outcome.selectSearch) {
        search_->selectAll();
        search_->setFocus();
    }
}

void ScoreEditorWindow::onUpdate() {
    if (const std::optional<Notice> notice = editor_.update(search_->text(), score_->text()))
        notice->show(this);
}

void ScoreEditorWindow::onResetAll() {
    if (const std::optional<Notice> notice = editor_.resetAll())
        notice->show(this);
}

} // namespace palvuro
