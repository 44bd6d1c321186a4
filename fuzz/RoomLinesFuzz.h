#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace palvuro {

// Arbitrary room lines read by the whole bot on the fake desktop, with a real Trivia.mdb and
// "Users List.txt" in a temporary program folder. An input is a list of records separated by
// '\n'; a record's first byte picks what happens (a line said by an authorized chatter, another
// chatter, the bot's own nick, any nick, a "/msg" line, a command, the current answer, a very
// long line, reader ticks, pause ticks) and its other bytes are Windows-1252 text.
//
// After every record: each text the bot said is one of its own lines, and Psystem changed only
// by the scores the bot announced. After the input: no other table and no part of the schema
// changed, the users file is byte for byte the same, and the program folder holds no new file
// but the database's own -wal and -shm.
class RoomLinesFuzz {
public:
    struct Stats {
        std::uint64_t inputs = 0;
        std::uint64_t lines = 0;    // room lines said by chatters
        std::uint64_t botTexts = 0; // lines the bot said
        std::uint64_t scored = 0;   // correct answers announced
        std::uint64_t cutByNul = 0; // bot texts cut short by a NUL in a nick (not judged)
        std::uint64_t commands = 0; // records that said a "!" command
    };

    // False, with *failure set, when an invariant broke.
    static bool run(const std::uint8_t* data, std::size_t size, QString* failure, Stats* stats = nullptr);
};

// The entry point shared by the fuzzer and the replay test: aborts on a broken invariant.
int fuzzRoomLines(const std::uint8_t* data, std::size_t size);

} // namespace palvuro
