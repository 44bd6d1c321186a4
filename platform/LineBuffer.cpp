#include "platform/LineBuffer.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>

namespace palvuro {

QByteArray LineBuffer::make(int capacity) {
    const int held = std::clamp(capacity, 0, MaxCapacity);
    QByteArray buffer(std::max(held + 1, 2), '\0');
    setCapacity(buffer.data(), held);
    return buffer;
}

void LineBuffer::setCapacity(char* buffer, int capacity) {
    qToLittleEndian(static_cast<std::uint16_t>(std::clamp(capacity, 0, MaxCapacity)), buffer);
}

int LineBuffer::capacity(const char* buffer) {
    return qFromLittleEndian<std::uint16_t>(buffer);
}

} // namespace palvuro
