#pragma once

namespace palvuro {

// What Windows' Unicode-to-ANSI conversion gives for a character above U+00FF in code page
// 1252: the exact byte, a look-alike (α -> a, Ł -> L), or nothing.
class Windows1252BestFit {
public:
    // The byte, or -1 when the table has no entry (the caller writes "?").
    static int byteFor(char16_t unit);
};

} // namespace palvuro
