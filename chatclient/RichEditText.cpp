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
    changed();
}

int RichEditText::wrapColumns() const {
    return wrap_;
}

void RichEditText::setRowLimit(std::int32_t rows) {
    rowLimit_ = rows > 0 ? std::max<std::int32_t>(rows, 2) : 0;
}

std::int32_t RichEditText::rowLimit() const {
    return rowLimit_;
}

void RichEditText::setChangeHandler(std::function<void()> handler) {
    changeHandler_ = std::move(handler);
}

void RichEditText::changed() {
    if (changeHandler_)
        changeHandler_();
}

void RichEditText::appendParagraph(const QString& text) {
    addParagraph(text);
    changed();
}

void RichEditText::addParagraph(const QString& text) {
    // Refuse text the 32-bit index space cannot address rather than wrap the indexes around.
    const qsizetype room = std::numeric_limits<std::int32_t>::max() - text_.size() - 1;
    if (text.size() > room)
        return;
    const qsizetype lengthBefore = text_.size();
    const std::size_t rowsBefore = rows_.size();
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
            break;
        // CR LF, a lone CR and a lone LF each end a paragraph with one mark.
        from = cut + 1;
        if (text.at(cut) == QLatin1Char('\r') && from < n && text.at(from) == QLatin1Char('\n'))
            ++from;
    }
    if (rowLimit_ == 0 || rows_.size() <= std::size_t(rowLimit_))
        return;

    // Over the limit: the paragraph comes again as one row, after the oldest block if the row
    // does not fit. A text short of the limit grows by that row, so a reader reads it alone.
    QString oneRow;
    oneRow.reserve(text_.size() - lengthBefore);
    for (std::size_t i = rowsBefore; i < rows_.size(); ++i)
        oneRow.append(text_.constData() + rows_[i].start, rows_[i].length);
    text_.truncate(lengthBefore);
    rows_.resize(rowsBefore);
    if (rows_.size() + 1 > std::size_t(rowLimit_))
        dropOldestBlock();
    appendOneRow(oneRow);
}

void RichEditText::appendOneRow(const QString& text) {
    const auto start = static_cast<std::int32_t>(text_.size());
    text_.append(text);
    text_.append(kMark);
    rows_.push_back(Row{start, static_cast<std::int32_t>(text.size()), true});
}

void RichEditText::dropOldestBlock() {
    // Whole paragraphs only, so the first row left is a paragraph's first row. Dropping a block
    // rather than a row keeps the cost of a trim, a move of the rows kept, to a few rows per
    // paragraph appended.
    const std::size_t keep = std::size_t(rowLimit_ - std::max<std::int32_t>(2, rowLimit_ / 10));
    std::size_t drop = rows_.size() > keep ? rows_.size() - keep : 0;
    while (drop > 0 && drop < rows_.size() && !rows_[drop - 1].endsParagraph)
        ++drop;
    if (drop == 0)
        return;
    const std::int32_t cut = drop < rows_.size() ? rows_[drop].start : textLength();
    // Room for the text to slide back to the front of its buffer instead of moving to a new
    // one: a text that stays one size keeps one allocation.
    if (text_.capacity() < 2 * text_.size())
        text_.reserve(2 * text_.size());
    text_.remove(0, cut);
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(drop));
    for (Row& row : rows_)
        row.start -= cut;
}

void RichEditText::clear() {
    text_.clear();
    rows_.clear();
    changed();
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
