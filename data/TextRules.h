#pragma once

#include <QString>

namespace palvuro {

// True when every character is one of the ASCII digits 0 to 9 (and there is at least one).
bool isAsciiDigits(const QString& text);

} // namespace palvuro
