#include "data/LineSplitter.h"

#include <algorithm>

namespace palvuro {

LineSplitter::LineSplitter(QString text) : text_(std::move(text)) {}

QStringView LineSplitter::next() {
    const qsizetype start = pos_;
    qsizetype end = start;
    while (end < text_.size() && text_.at(end) != u'\n' && text_.at(end) != u'\r')
        ++end;
    const bool crLf = end + 1 < text_.size() && text_.at(end) == u'\r' && text_.at(end + 1) == u'\n';
    pos_ = end + (crLf ? 2 : 1);
    ++line_;
    return QStringView(text_).mid(start, end - start);
}

double LineSplitter::progress() const {
    return text_.isEmpty() ? 1.0 : double(std::min(pos_, text_.size())) / double(text_.size());
}

} // namespace palvuro
