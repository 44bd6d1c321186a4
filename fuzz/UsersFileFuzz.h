#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace palvuro {

// "Users List.txt" read from arbitrary bytes. Invariants: the reader ends, yields no more names
// than the file has bytes (plus one), and every name it yields that the record format can carry
// (no double quote, no line break, not the deletion marker) is saved and read back unchanged,
// in order.
class UsersFileFuzz {
public:
    static bool run(const std::uint8_t* data, std::size_t size, QString* failure);
};

int fuzzUsersFile(const std::uint8_t* data, std::size_t size);

} // namespace palvuro
