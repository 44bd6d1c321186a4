#pragma once

#include "admin/ScoreEditor.h"

#include <QWidget>

class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace palvuro {

// "Edit Scores": find a player's score by nick, overwrite it, or delete every score.
// Each press goes to the database at once; nothing is kept for the window's closing.
class ScoreEditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit ScoreEditorWindow(const TriviaStore& store, QWidget* parent = nullptr);

private:
    QWidget* buildFindFrame();
    QWidget* buildScoreFrame();
    void buildMenu(QVBoxLayout* layout);
    void onFind();
    void onUpdate();
    void onResetAll();

    ScoreEditor editor_;
    QLineEdit* search_ = nullptr;
    QPushButton* find_ = nullptr;
    QLineEdit* score_ = nullptr;
    QPushButton* update_ = nullptr;
};

} // namespace palvuro
