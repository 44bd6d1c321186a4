#include "platform/Win32Semantics.h"

#include "platform/Windows1252.h"

#include <algorithm>
#include <cstring>

namespace palvuro {

int Win32Semantics::copyTruncated(const std::string& text, char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount < 1)
        return 0;
    const int count = std::min(static_cast<int>(text.size()), maxCount - 1);
    std::memcpy(buffer, text.data(), static_cast<size_t>(count));
    buffer[count] = '\0';
    return count;
}

bool Win32Semantics::sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    if (a == b)
        return true;
    const QString qa = Windows1252::decode(a.data(), static_cast<int>(a.size()));
    const QString qb = Windows1252::decode(b.data(), static_cast<int>(b.size()));
    return qa.compare(qb, Qt::CaseInsensitive) == 0;
}

bool Win32Semantics::matches(const char* filter, const std::string& value) {
    return filter == nullptr || sameIgnoringCase(filter, value);
}

} // namespace palvuro
