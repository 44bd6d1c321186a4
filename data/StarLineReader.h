#pragma once

#include "data/LineSplitter.h"
#include "data/RecordReader.h"

namespace palvuro {

// The "question*answer" files of chat trivia bots: one pair a line, all of one category, which
// the file itself does not name.
class StarLineReader : public RecordReader {
public:
    // `category` is a label (a file's name, or what the operator gave) for a category name.
    StarLineReader(const QByteArray& bytes, const QString& category);

    bool next(ImportRecord* record) override;
    double progress() const override { return lines_.progress(); }

private:
    LineSplitter lines_;
    QString category_;
};

} // namespace palvuro
