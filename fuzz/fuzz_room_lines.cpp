// libFuzzer's entry: the case itself lives in fuzz/RoomLinesFuzz.cpp, shared with the replay test.
#include "fuzz/RoomLinesFuzz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return palvuro::fuzzRoomLines(data, size);
}
