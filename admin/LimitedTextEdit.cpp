#include "admin/LimitedTextEdit.h"

#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace palvuro {

LimitedTextEdit::LimitedTextEdit(int maxLength, QWidget* parent)
    : QPlainTextEdit(parent), maxLength_(maxLength) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int charsAdded) { cutExcess(position, charsAdded); });
}

QString LimitedTextEdit::storedText() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void LimitedTextEdit::setStoredText(const QString& text) {
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    setPlainText(plain);
}

void LimitedTextEdit::cutExcess(int position, int charsAdded) {
    if (cutting_)
        return;
    const int excess = static_cast<int>(toPlainText().size()) - maxLength_;
    if (excess <= 0)
        return;
    // Cut from the end of what was just inserted; text that was already there stays.
    const int end = std::min(position + charsAdded, document()->characterCount() - 1);
    const int start = std::max(position, end - excess);
    cutting_ = true;
    QTextCursor cursor(document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (toPlainText().size() > maxLength_) { // an insertion that replaced a selection
        cursor.setPosition(maxLength_);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cutting_ = false;
}

} // namespace palvuro
