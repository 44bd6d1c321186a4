// Feeds seeded random room lines through the room-lines fuzz case until a given number of lines
// has been said, and prints what it did. The inputs are the fuzzer's own record format, made by
// a generator that favours what random bytes seldom spell: commands, answers, the bot's nick.
//
//   fuzz_room_lines_driver COUNT [SEED]
//
// Exit status 0 when every invariant held; a broken invariant aborts with its description.
#include "fuzz/RoomLinesFuzz.h"
#include "fuzz/SeededDriver.h"

#include <QByteArray>

#include <cstdio>

namespace {

using palvuro::draw;
using Random = palvuro::SeededDriver::Random;

// Mostly letters and blanks, some punctuation of the protocol, some control and high bytes (a
// '\n' would split the record).
QByteArray text(Random& random, unsigned maxLength) {
    static const palvuro::TextMix mix{
        {75,
         palvuro::TextMix::bytesOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789     ")},
        {90, palvuro::TextMix::bytesOf(":!'\"[]()*/<>;,-_%\\")},
        {95, palvuro::TextMix::range(1, 31)},
        {100, palvuro::TextMix::range(0x80, 0x80)}};
    return mix.draw(random, maxLength);
}

QByteArray record(Random& random) {
    // Action weights: lines by the usual speakers, any nick, /msg, commands, ticks, pause
    // ticks, answers, long lines.
    static const unsigned weights[10] = {12, 12, 4, 8, 4, 22, 10, 10, 14, 1};
    unsigned pick = draw(random, 97);
    unsigned action = 0;
    while (pick >= weights[action]) {
        pick -= weights[action];
        ++action;
    }
    QByteArray out;
    out += char(action + 10 * draw(random, 25));
    switch (action) {
    case 5:
    case 8:
        out += char(draw(random, 256));
        out += char(draw(random, 256));
        out += text(random, 12);
        break;
    case 6:
    case 7:
        out += char(draw(random, 256));
        out += char(draw(random, 256));
        break;
    case 9:
        out += char(draw(random, 256));
        out += text(random, 8);
        break;
    default:
        out += text(random, 60);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    palvuro::SeededDriver driver(argc, argv);
    Random& random = driver.random();
    palvuro::RoomLinesFuzz::Stats stats;
    std::uint64_t reported = 0;
    while (stats.lines < driver.target()) {
        QByteArray input;
        const unsigned records = 50 + draw(random, 250);
        for (unsigned i = 0; i < records; ++i)
            input += record(random) + '\n';
        QString failure;
        if (!palvuro::RoomLinesFuzz::run(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                         static_cast<std::size_t>(input.size()), &failure, &stats))
            driver.fail("lines", stats.lines, failure, input, "room-lines");
        if (stats.lines - reported >= 100000) {
            reported = stats.lines;
            std::printf("progress lines %llu\n", static_cast<unsigned long long>(stats.lines));
            std::fflush(stdout);
        }
    }
    const double seconds = driver.seconds();
    std::printf("lines %llu\ninputs %llu\nbot_texts %llu\nscored %llu\ncommands %llu\ncut_by_nul %llu\n"
                "lines_per_second %.0f\n",
                static_cast<unsigned long long>(stats.lines), static_cast<unsigned long long>(stats.inputs),
                static_cast<unsigned long long>(stats.botTexts),
                static_cast<unsigned long long>(stats.scored),
                static_cast<unsigned long long>(stats.commands),
                static_cast<unsigned long long>(stats.cutByNul), double(stats.lines) / seconds);
    return 0;
}
