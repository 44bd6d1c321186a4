#pragma once

#include "data/LineSplitter.h"
#include "data/RecordReader.h"

namespace palvuro {

// The program's own question file: one pair a line, "category<TAB>question<TAB>answer", with
// an optional header line of those three names first. Category names are taken as written.
class TsvReader : public RecordReader {
public:
    explicit TsvReader(const QByteArray& bytes);

    bool next(ImportRecord* record) override;
    double progress() const override { return lines_.progress(); }

private:
    LineSplitter lines_;
};

} // namespace palvuro
