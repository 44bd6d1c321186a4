#pragma once

#include <QByteArray>

namespace palvuro {

// The buffer of EM_GETLINE: its first WORD, little-endian, gives the capacity in characters,
// and the window then writes the line over it. Callers that ask and windows that answer read
// and write that header here, so both ends agree on its byte order.
class LineBuffer {
public:
    // The header is a WORD: a longer line comes back cut.
    static constexpr int MaxCapacity = 0xffff;

    // Room for `capacity` characters (held to 0..MaxCapacity) and a NUL, with the header set.
    static QByteArray make(int capacity);
    static void setCapacity(char* buffer, int capacity);
    static int capacity(const char* buffer);
};

} // namespace palvuro
