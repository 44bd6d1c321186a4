#include "platform/Windows1252.h"

#include "platform/Windows1252BestFit.h"

#include <array>

namespace palvuro {
namespace {

// Bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte for one UTF-16 unit, or -1 when the code page lacks it.
int exactByte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return unit;
    for (size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == unit)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

} // namespace

QByteArray Windows1252::encode(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        int byte = exactByte(ch.unicode());
        if (byte < 0)
            byte = Windows1252BestFit::byteFor(ch.unicode());
        // A character outside the BMP is two surrogates and so becomes "??".
        out.append(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return out;
}

QString Windows1252::decode(const char* bytes, int length) {
    QString out;
    out.resize(length < 0 ? 0 : length);
    QChar* dst = out.data();
    for (int i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        dst[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(kHigh[byte - 0x80])
                                               : QChar::fromLatin1(static_cast<char>(byte));
    }
    return out;
}

bool Windows1252::holds(char16_t unit) {
    return exactByte(unit) >= 0;
}

QString Windows1252::decode(const QByteArray& bytes) {
    return decode(bytes.constData(), bytes.size());
}

} // namespace palvuro
