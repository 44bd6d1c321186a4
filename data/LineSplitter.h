#pragma once

#include <QString>

namespace palvuro {

// Walks a text line by line, numbering the lines from 1; a line ends at LF, CR LF or a lone CR.
class LineSplitter {
public:
    explicit LineSplitter(QString text);

    bool atEnd() const { return pos_ >= text_.size(); }
    // The next line without its line end.
    QStringView next();
    qint64 lineNumber() const { return line_; }
    double progress() const;

private:
    QString text_;
    qsizetype pos_ = 0;
    qint64 line_ = 0;
};

} // namespace palvuro
