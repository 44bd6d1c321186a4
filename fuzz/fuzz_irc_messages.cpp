// libFuzzer's entry: the case itself lives in fuzz/IrcMessagesFuzz.cpp, shared with the replay test.
#include "fuzz/IrcMessagesFuzz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return palvuro::fuzzIrcMessages(data, size);
}
