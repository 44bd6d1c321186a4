#include "chatclient/RichEditText.h"

#include <algorithm>
#include <limits>

namespace palvuro {

namespace {

constexpr QChar kMark = QLatin1Char('\r');

} // namespace

RichEditText::RichEditText(int wrapColumns) : wrap_(std::max(0, wrapColumns)) {}

void RichEditText::setWrapColumns(int columns) {
    const int wrap = std::max(0, columns);
    if (wrap == wrap_)
        return;
    wrap_ = wrap;
    // Rows are a view of the paragraphs: rebuild them from the stored text.
    rows_.clear();
    std::int32_t start = 0;
    const auto size = static_cast<std::int32_t>(text_.size());
    for (std::int32_t i = 0; i < size; ++i) {
        if (text_.at(i) == kMark) {
            appendRows(start, i - start);
            start = i + 1;
        }
    }
}

int RichEditText::wrapColumns() const {
    return wrap_;
}

void RichEditText::appendParagraph(const QString& text) {
    // Refuse text the 32-bit index space cannot address rather than wrap the indexes around.
    const qsizetype room = std::numeric_limits<std::int32_t>::max() - text_.size() - 1;
    if (text.size() > room)
        return;
    const qsizetype n = text.size();
    qsizetype from = 0;
    while (true) {
        qsizetype cut = from;
        while (cut < n && text.at(cut) != QLatin1Char('\r') && text.at(cut) != QLatin1Char('\n'))
            ++cut;
        const auto start = static_cast<std::int32_t>(text_.size());
        text_.append(text.constData() + from, cut - from);
        appendRows(start, static_cast<std::int32_t>(cut - from));
        text_.append(kMark);
        if (cut == n)
            return;
        // CR LF, a lone CR and a lone LF each end a paragraph with one mark.
        from = cut + 1;
        if (text.at(cut) == QLatin1Char('\r') && from < n && text.at(from) == QLatin1Char('\n'))
            ++from;
    }
}

void RichEditText::clear() {
    text_.clear();
    rows_.clear();
}

void RichEditText::appendRows(std::int32_t start, std::int32_t length) {
    // Wrapping cuts at the column exactly (no word wrap), so the rows of a paragraph joined in
    // order give the paragraph back. A cut never splits a surrogate pair. The mark stays on the
    // paragraph's last row even when that row is full, as in the real control.
    std::int32_t pos = start;
    const std::int32_t end = start + length;
    while (wrap_ > 0 && end - pos > wrap_) {
        std::int32_t cut = pos + wrap_;
        if (text_.at(cut).isLowSurrogate() && cut - 1 > pos)
            --cut;
        rows_.push_back(Row{pos, cut - pos, false});
        pos = cut;
    }
    rows_.push_back(Row{pos, end - pos, true});
}

std::int32_t RichEditText::textLength() const {
    return static_cast<std::int32_t>(text_.size());
}

std::int32_t RichEditText::lineCount() const {
    return static_cast<std::int32_t>(rows_.size()) + 1;
}

std::int32_t RichEditText::lineIndex(std::int32_t line) const {
    // -1 asks for the caret's row; the caret of a read-only room stays at the end.
    if (line == -1)
        return textLength();
    if (line < 0 || line >= lineCount())
        return -1;
    if (line == static_cast<std::int32_t>(rows_.size()))
        return textLength();
    return rows_[static_cast<std::size_t>(line)].start;
}

std::int32_t RichEditText::rowOf(std::int32_t charIndex) const {
    // The last row whose start is at or before the index.
    const auto it = std::upper_bound(rows_.begin(), rows_.end(), charIndex,
                                     [](std::int32_t index, const Row& row) { return index < row.start; });
    return static_cast<std::int32_t>(it - rows_.begin()) - 1;
}

std::int32_t RichEditText::lineLength(std::int32_t charIndex) const {
    if (charIndex < 0 || charIndex >= textLength())
        return 0;
    return rows_[static_cast<std::size_t>(rowOf(charIndex))].length;
}

QString RichEditText::lineWithMark(std::int32_t line) const {
    if (line < 0 || line >= lineCount())
        return {};
    if (line == static_cast<std::int32_t>(rows_.size()))
        return QString(kMark);
    const Row& row = rows_[static_cast<std::size_t>(line)];
    return text_.mid(row.start, row.length + (row.endsParagraph ? 1 : 0));
}

QString RichEditText::plainText() const {
    QString text = text_;
    text.chop(text.isEmpty() ? 0 : 1);
    text.replace(kMark, QLatin1Char('\n'));
    return text;
}

} // namespace palvuro
