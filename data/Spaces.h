#pragma once

#include <QString>

namespace palvuro {

// Trimming in this program removes the space character only: tabs and line breaks are part of
// the text (of a nick, a question, a category name).
class Spaces {
public:
    static QString trimmed(const QString& text);
    static QString leftTrimmed(const QString& text);
    // A typed value as the editors store it: upper-cased, then trimmed.
    static QString storedForm(const QString& typed);
};

} // namespace palvuro
