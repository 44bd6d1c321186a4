#pragma once

#include <QString>

namespace palvuro {

// The editors trim the space character only: tabs and line breaks are part of the text.
QString trimSpaces(const QString& text);

// True when every character is one of the ASCII digits 0 to 9 (and there is at least one).
bool isAsciiDigits(const QString& text);

} // namespace palvuro
