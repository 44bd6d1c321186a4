// libFuzzer's entry: the case itself lives in fuzz/BusFramesFuzz.cpp, shared with the replay test.
#include "fuzz/BusFramesFuzz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return palvuro::fuzzBusFrames(data, size);
}
