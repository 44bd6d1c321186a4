#pragma once

#include <string>

namespace palvuro {

// Rules of the real calls that every WindowApi backend shares.
class Win32Semantics {
public:
    // GetClassNameA: at most maxCount-1 characters and always a NUL; the count copied.
    // maxCount < 1 or a null buffer copies nothing.
    static int copyTruncated(const std::string& text, char* buffer, int maxCount);
    // Titles and class names are compared whole, without regard to letter case (Windows-1252).
    static bool sameIgnoringCase(const std::string& a, const std::string& b);
    // A null filter matches anything.
    static bool matches(const char* filter, const std::string& value);
};

} // namespace palvuro
