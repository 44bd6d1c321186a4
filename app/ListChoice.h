#pragma once

#include <QObject>

class QComboBox;
class QLineEdit;

namespace palvuro {

// An editable combo box's "an item was chosen from the list" event. QComboBox also reports
// typed text that happens to match an item (Enter, or leaving the box) as activated; only a
// choice from the list or the arrow keys counts here, typed text never does.
class ListChoice : public QObject {
    Q_OBJECT
public:
    explicit ListChoice(QComboBox& box);

Q_SIGNALS:
    void chosen(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox& box_;
    QLineEdit* lineEdit_; // owned by the box; set once, when the box is editable
    bool committingTypedText_ = false;
};

} // namespace palvuro
