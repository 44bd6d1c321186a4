#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace palvuro {

// The desktop bus on arbitrary bytes. The frame codec: every frame taken from a buffer is
// shorter than the limit and consumes the buffer; a payload that decodes as a request or a
// reply encodes back to itself; window names unpack without reading past their bytes. The
// server (in-process, publishing a chat room's windows): the bytes arrive on one connection,
// after which a second connection still gets its answer, so no input crashes it, hangs it or
// takes it down.
class BusFramesFuzz {
public:
    static bool run(const std::uint8_t* data, std::size_t size, QString* failure);
};

int fuzzBusFrames(const std::uint8_t* data, std::size_t size);

} // namespace palvuro
