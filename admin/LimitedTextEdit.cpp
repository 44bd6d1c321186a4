#include "admin/LimitedTextEdit.h"

#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace palvuro {
namespace {

// The box stores every line break as CR LF: two characters toward its limit.
int storedLength(QStringView text) {
    return static_cast<int>(text.size() + text.count(u'\n'));
}

} // namespace

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
    const QString plain = toPlainText();
    int excess = storedLength(plain) - maxLength_;
    if (excess <= 0)
        return;
    // Cut from the end of what was just inserted; text that was already there stays.
    const int end = std::min(position + charsAdded, static_cast<int>(plain.size()));
    int start = end;
    while (start > position && excess > 0)
        excess -= storedLength(QStringView(plain).mid(--start, 1));
    cutting_ = true;
    QTextCursor cursor(document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (excess > 0) { // an insertion that replaced a selection
        const QString rest = toPlainText();
        int fits = 0;
        for (int stored = 0; fits < rest.size(); ++fits) {
            stored += storedLength(QStringView(rest).mid(fits, 1));
            if (stored > maxLength_)
                break;
        }
        cursor.setPosition(fits);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cutting_ = false;
}

} // namespace palvuro
