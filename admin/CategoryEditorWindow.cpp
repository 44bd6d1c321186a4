#include "admin/CategoryEditorWindow.h"

#include "admin/KeyDiscardFilter.h"
#include "admin/LimitedTextEdit.h"
#include "data/PairRules.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <iterator>

namespace palvuro {
namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    return named(new QPushButton(caption, parent), name);
}

QLabel* label(const char* name, const QString& caption, QWidget* parent) {
    return named(new QLabel(caption, parent), name);
}

QGroupBox* frame(const char* name, const QString& caption, QWidget* parent) {
    return named(new QGroupBox(caption, parent), name);
}

} // namespace

CategoryEditorWindow::CategoryEditorWindow(const TriviaStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), db_(store.connect()), editor_(*db_), finder_(*db_) {
    setObjectName(QStringLiteral("frmCatergories"));
    setWindowTitle(QStringLiteral("Add Categories / Questions"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout(this);
    grid->addWidget(buildCategoryFrame(), 0, 0);
    grid->addWidget(buildCreateFrame(), 1, 0);
    grid->addWidget(buildAddFrame(), 0, 1, 2, 1);
    grid->addWidget(buildFinderFrame(), 2, 0, 1, 2);
    setTabOrder();

    showNotice(editor_.load());
    showCategories();
}

CategoryEditorWindow::~CategoryEditorWindow() = default;

QWidget* CategoryEditorWindow::buildCategoryFrame() {
    QGroupBox* box = frame("Frame1", QStringLiteral("Select Category To Add Questions To"), this);
    category_ = named(new QComboBox(box), "CCatorgy");
    category_->setEditable(true);
    category_->setInsertPolicy(QComboBox::NoInsert);
    category_->setCompleter(nullptr);
    // The edit line only ever shows a category the window put there: typing changes nothing.
    QLineEdit* line = category_->lineEdit();
    new KeyDiscardFilter(line, &KeyDiscardFilter::anyEdit);
    line->setReadOnly(true); // also stops a middle-button paste
    line->setContextMenuPolicy(Qt::NoContextMenu);
    line->setAcceptDrops(false);
    deleteCategory_ = button("cmdDelete", QStringLiteral("&Delete"), box);

    auto* layout = new QHBoxLayout(box);
    layout->addWidget(category_, 1);
    layout->addWidget(deleteCategory_);
    connect(category_, &QComboBox::activated, this, &CategoryEditorWindow::onCategoryPicked);
    connect(deleteCategory_, &QPushButton::clicked, this, &CategoryEditorWindow::onDeleteCategory);
    return box;
}

QWidget* CategoryEditorWindow::buildCreateFrame() {
    QGroupBox* box = frame("Frame2", QStringLiteral("Create New Category"), this);
    newCategory_ = named(new QLineEdit(box), "txtAddCatergory");
    newCategory_->setMaxLength(PairRules::MaxCategoryLength);
    createCategory_ = button("cmdAddCatergory", QStringLiteral("&Add Caterory"), box);

    auto* layout = new QHBoxLayout(box);
    layout->addWidget(newCategory_, 1);
    layout->addWidget(createCategory_);
    connect(createCategory_, &QPushButton::clicked, this, &CategoryEditorWindow::onCreateCategory);
    return box;
}

QWidget* CategoryEditorWindow::buildAddFrame() {
    QGroupBox* box = frame("Frame3", QStringLiteral("Enter New Question And Answer"), this);
    question_ = named(new LimitedTextEdit(PairRules::MaxTextLength, box), "txt_Question");
    answer_ = named(new LimitedTextEdit(PairRules::MaxTextLength, box), "txtAnswer");
    addPair_ = button("cmdAdd", QStringLiteral("A&dd"), box);

    auto* layout = new QVBoxLayout(box);
    layout->addWidget(label("lblAddAnser", QStringLiteral("Question"), box));
    layout->addWidget(question_);
    layout->addWidget(label("lblAddAnswer", QStringLiteral("Answer"), box));
    layout->addWidget(answer_);
    layout->addWidget(addPair_, 0, Qt::AlignRight);
    connect(addPair_, &QPushButton::clicked, this, &CategoryEditorWindow::onAddPair);
    return box;
}

QWidget* CategoryEditorWindow::buildFinderFrame() {
    QGroupBox* box = frame("Frame4", QStringLiteral("Edit Question And Answer"), this);
    editQuestion_ = named(new LimitedTextEdit(PairRules::MaxTextLength, box), "txtEditQ");
    editAnswer_ = named(new LimitedTextEdit(PairRules::MaxTextLength, box), "txtEditA");
    findQuestion_ = button("cmdSearchQ", QStringLiteral("Find"), box);
    findAnswer_ = button("cmdSearchA", QStringLiteral("Find"), box);
    deletePair_ = button("cmdDeleteQA", QStringLiteral("&Delete"), box);
    updatePair_ = button("cmdUpdate", QStringLiteral("&Update"), box);

    auto* layout = new QGridLayout(box);
    layout->addWidget(label("Label1", QStringLiteral("Locate By Question"), box), 0, 0);
    layout->addWidget(editQuestion_, 1, 0);
    layout->addWidget(findQuestion_, 2, 0, Qt::AlignRight);
    layout->addWidget(label("Label2", QStringLiteral("Locate By Answer"), box), 0, 1);
    layout->addWidget(editAnswer_, 1, 1);
    layout->addWidget(findAnswer_, 2, 1, Qt::AlignRight);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(deletePair_);
    buttons->addWidget(updatePair_);
    layout->addLayout(buttons, 3, 0, 1, 2);

    connect(findQuestion_, &QPushButton::clicked, this, [this] { onFind(PairFinder::By::Question); });
    connect(findAnswer_, &QPushButton::clicked, this, [this] { onFind(PairFinder::By::Answer); });
    connect(updatePair_, &QPushButton::clicked, this, &CategoryEditorWindow::onUpdatePair);
    connect(deletePair_, &QPushButton::clicked, this, &CategoryEditorWindow::onDeletePair);
    return box;
}

void CategoryEditorWindow::setTabOrder() {
    QWidget* const order[] = {category_,     deleteCategory_, newCategory_, createCategory_, question_,
                              answer_,       addPair_,        updatePair_,  editQuestion_,   editAnswer_,
                              findQuestion_, findAnswer_,     deletePair_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void CategoryEditorWindow::showCategories() {
    const QSignalBlocker quiet(category_);
    category_->clear();
    category_->addItems(editor_.names());
    category_->setCurrentIndex(
        category_->findText(editor_.editText(), Qt::MatchExactly | Qt::MatchCaseSensitive));
    category_->setEditText(editor_.editText());
}

void CategoryEditorWindow::showNotice(const std::optional<Notice>& notice) {
    if (notice)
        notice->show(this);
}

void CategoryEditorWindow::onCategoryPicked(int index) {
    editor_.pick(category_->itemText(index));
}

void CategoryEditorWindow::onCreateCategory() {
    const CategoryEditor::Outcome outcome = editor_.create(newCategory_->text());
    if (outcome.done) {
        showCategories();
        newCategory_->clear();
    }
    showNotice(outcome.notice);
}

void CategoryEditorWindow::onDeleteCategory() {
    const CategoryEditor::Outcome outcome = editor_.remove(category_->currentText(), [this] {
        return MessageBox::askYesNo(this, CategoryEditor::deleteQuestion());
    });
    if (outcome.done)
        showCategories();
    showNotice(outcome.notice);
}

void CategoryEditorWindow::onAddPair() {
    const CategoryEditor::Outcome outcome = editor_.addPair(question_->storedText(), answer_->storedText());
    if (outcome.done) {
        question_->clear();
        answer_->clear();
    }
    showNotice(outcome.notice);
}

void CategoryEditorWindow::onFind(PairFinder::By by) {
    LimitedTextEdit* searched = by == PairFinder::By::Question ? editQuestion_ : editAnswer_;
    applyFinder(finder_.find(by, category_->currentText(), searched->storedText()), searched);
}

void CategoryEditorWindow::onUpdatePair() {
    applyFinder(finder_.update(editQuestion_->storedText(), editAnswer_->storedText()), nullptr);
}

void CategoryEditorWindow::onDeletePair() {
    applyFinder(finder_.remove(), nullptr);
}

void CategoryEditorWindow::applyFinder(const PairFinder::Outcome& outcome, LimitedTextEdit* searched) {
    switch (outcome.effect) {
    case PairFinder::Effect::ShowPair:
        editQuestion_->setStoredText(outcome.question);
        editAnswer_->setStoredText(outcome.answer);
        break;
    case PairFinder::Effect::ClearBoxes:
        editQuestion_->clear();
        editAnswer_->clear();
        break;
    case PairFinder::Effect::SelectSearchText:
    case PairFinder::Effect::None:
        break;
    }
    showNotice(outcome.notice);
    if (outcome.effect == PairFinder::Effect::SelectSearchText && searched) {
        searched->selectAll();
        searched->setFocus();
    }
}

} // namespace palvuro
