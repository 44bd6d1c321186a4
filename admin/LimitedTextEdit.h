#pragma once

#include <QPlainTextEdit>

namespace palvuro {

// A multi-line text box with a vertical scroll bar that holds at most maxLength characters as
// stored (a line break counts as its CR LF), however the text arrives (typed, pasted, dropped):
// the excess of an insertion is cut off.
// Tab moves the focus, as in the operator's other boxes.
class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextEdit(int maxLength, QWidget* parent = nullptr);

    int maxLength() const { return maxLength_; }
    // The text as a Windows text box holds it: every line break a CR LF pair.
    QString storedText() const;
    void setStoredText(const QString& text);

private:
    void cutExcess(int position, int charsAdded);

    int maxLength_;
    bool cutting_ = false;
};

} // namespace palvuro
