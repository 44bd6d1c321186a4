#pragma once

#include "admin/CategoryEditor.h"
#include "admin/PairFinder.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace palvuro {

class LimitedTextEdit;

// "Add Categories / Questions": create and delete categories, add pairs to the chosen one,
// and find one pair to change or delete. Holds its database connection while it is open;
// every change reaches the database at once.
class CategoryEditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit CategoryEditorWindow(const TriviaStore& store, QWidget* parent = nullptr);
    ~CategoryEditorWindow() override;

private:
    QWidget* buildCategoryFrame();
    QWidget* buildCreateFrame();
    QWidget* buildAddFrame();
    QWidget* buildFinderFrame();
    void setTabOrder();

    void showCategories();
    void showNotice(const std::optional<Notice>& notice);
    void onCategoryPicked(int index);
    void onCreateCategory();
    void onDeleteCategory();
    void onAddPair();
    void onFind(PairFinder::By by);
    void onUpdatePair();
    void onDeletePair();
    void applyFinder(const PairFinder::Outcome& outcome, LimitedTextEdit* searched);

    std::unique_ptr<TriviaDatabase> db_;
    CategoryEditor editor_;
    PairFinder finder_;

    QComboBox* category_ = nullptr;
    QPushButton* deleteCategory_ = nullptr;
    QLineEdit* newCategory_ = nullptr;
    QPushButton* createCategory_ = nullptr;
    LimitedTextEdit* question_ = nullptr;
    LimitedTextEdit* answer_ = nullptr;
    QPushButton* addPair_ = nullptr;
    LimitedTextEdit* editQuestion_ = nullptr;
    LimitedTextEdit* editAnswer_ = nullptr;
    QPushButton* findQuestion_ = nullptr;
    QPushButton* findAnswer_ = nullptr;
    QPushButton* deletePair_ = nullptr;
    QPushButton* updatePair_ = nullptr;
};

} // namespace palvuro
