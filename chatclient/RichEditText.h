#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace palvuro {

// The text of a rich-edit control as the window messages see it: paragraphs separated by one
// paragraph mark each (one character of the index space), every paragraph shown as rows of at
// most `wrapColumns` characters (0: no wrapping; a cut falls at the column exactly, not at a
// blank, so a paragraph's rows joined in order give it back). The last row is the empty row after the final
// mark. Row count, row index and row length cost the same for ten rows as for a million.
//
// With a row limit the text never holds more rows. A reader that finds fewer rows than it has
// read takes only the newest row as new. So when a paragraph would go beyond the limit, the
// oldest paragraphs go first, in one block (a tenth of the limit, at least two rows), and the
// new paragraph takes a single row, its wrapped parts and its lines joined as the reader joins
// them: read alone, it is still whole. The size of the block also lets a reader that is a few
// rows behind see the text shrink.
class RichEditText {
public:
    explicit RichEditText(int wrapColumns = 80);

    void setWrapColumns(int columns);
    int wrapColumns() const;
    // At most `rows` rows besides the final empty one (at least 2; 0: no limit). Takes effect
    // with the next paragraph.
    void setRowLimit(std::int32_t rows);
    std::int32_t rowLimit() const;
    // Called after every change of what the line messages answer.
    void setChangeHandler(std::function<void()> handler);
    // Appends a paragraph and its closing mark.
    void appendParagraph(const QString& text);
    void clear();

    // The answers to the line messages, with rich-edit meanings.
    std::int32_t lineCount() const;                        // EM_GETLINECOUNT, never below 1
    std::int32_t lineIndex(std::int32_t line) const;       // EM_LINEINDEX, -1 past the end
    std::int32_t lineLength(std::int32_t charIndex) const; // EM_LINELENGTH, 0 past the end
    // EM_GETLINE: the row's text plus "\r" when it ends a paragraph; empty past the end.
    QString lineWithMark(std::int32_t line) const;

    // The whole text (paragraphs joined by '\n'), for display.
    QString plainText() const;
    // Characters in the index space, every paragraph mark counted as one.
    std::int32_t textLength() const;

private:
    void addParagraph(const QString& text);
    void changed();

    struct Row {
        std::int32_t start; // character index of the row's first character
        std::int32_t length;
        bool endsParagraph;
    };
    void appendRows(std::int32_t start, std::int32_t length);
    void appendOneRow(const QString& text);
    void dropOldestBlock();
    std::int32_t rowOf(std::int32_t charIndex) const;

    QString text_; // paragraphs, each closed by one '\r' mark
    std::vector<Row> rows_;
    int wrap_;
    std::int32_t rowLimit_ = 0;
    std::function<void()> changeHandler_;
};

} // namespace palvuro
