#pragma once

#include <QString>

namespace palvuro {

// Upper case as the platform the bot was written for makes it: one character for one (simple
// case mapping), so a text never changes length; "ß" stays "ß". Texts reach the bot through
// Windows-1252, and a capital that code page lacks comes back through its best fit: "ƒ" gives
// "Ƒ", which best fit turns back into "ƒ". Every upper-casing in the program asks here.
class LetterCase {
public:
    static QString upper(const QString& text);
    static bool isUpper(const QString& text) { return upper(text) == text; }
};

} // namespace palvuro
