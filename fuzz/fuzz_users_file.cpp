// libFuzzer's entry: the case itself lives in fuzz/UsersFileFuzz.cpp, shared with the replay test.
#include "fuzz/UsersFileFuzz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return palvuro::fuzzUsersFile(data, size);
}
