// Feeds seeded random server lines through the IRC messages fuzz case until a given number of
// lines has been read, and prints what it did. The generator favours what random bytes seldom
// spell: tags with escapes, prefixes, known commands and numerics, CTCP, formatting codes,
// UTF-8 (broken and whole) and very long lines. The session stage is left to the libFuzzer
// target and the replayed seeds: a connection per input would make millions of lines take hours.
//
//   fuzz_irc_messages_driver COUNT [SEED]
//
// Exit status 0 when every invariant held; a broken invariant aborts with its description.
#include "fuzz/IrcMessagesFuzz.h"
#include "fuzz/SeededDriver.h"

#include <QByteArray>

#include <cstdio>

namespace {

using palvuro::draw;
using Random = palvuro::SeededDriver::Random;

QByteArray pick(Random& random, std::initializer_list<const char*> choices) {
    return QByteArray(*(choices.begin() + draw(random, static_cast<unsigned>(choices.size()))));
}

// Formatting and other control bytes (a '\n' ends the line), UTF-8 whole and broken.
QByteArray word(Random& random, unsigned maxLength) {
    static const palvuro::TextMix mix{
        {80, palvuro::TextMix::bytesOf(
                 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789#&@!:;=\\ ,.*+~-_")},
        {88, palvuro::TextMix::range(0, 32)},
        {94, {"\xc3\xa9", "\xe6\x9d\xb1", "\xf0\x9f\x8e\xb2", "\xc3", "\xe6\x9d", "\xed\xa0\x80"}},
        {100, palvuro::TextMix::range(0x80, 0x80)}};
    return mix.draw(random, maxLength);
}

QByteArray line(Random& random) {
    if (draw(random, 20) == 0)
        return word(random, 40);
    QByteArray out;
    if (draw(random, 4) == 0)
        out += '@' + word(random, 20) + ';' + word(random, 8) + '=' + word(random, 20) + ' ';
    if (draw(random, 4) != 0)
        out += ':' + word(random, 8) + '!' + word(random, 6) + '@' + word(random, 12) + ' ';
    out += draw(random, 3) == 0 ? QByteArray::number(draw(random, 1000)).rightJustified(3, '0')
                                : pick(random, {"PRIVMSG", "NOTICE", "JOIN", "PART", "QUIT", "KICK", "NICK",
                                                "PING", "CAP", "AUTHENTICATE", "ERROR", "privmsg", "X"});
    const unsigned params = draw(random, 6);
    for (unsigned i = 0; i < params; ++i)
        out += ' ' + word(random, 10);
    if (draw(random, 2) == 0) {
        out += " :";
        if (draw(random, 4) == 0)
            out += '\x01' + pick(random, {"ACTION ", "VERSION", "PING "});
        out += word(random, draw(random, 200) == 0 ? 2000 : 60);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    palvuro::SeededDriver driver(argc, argv);
    Random& random = driver.random();
    std::uint64_t messages = 0;
    while (messages < driver.target()) {
        QByteArray input;
        for (unsigned i = 0; i < 100; ++i)
            input += line(random) + (draw(random, 2) ? "\r\n" : "\n");
        input.chop(1); // the last line ends where the input does
        QString failure;
        if (!palvuro::IrcMessagesFuzz::run(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                           static_cast<std::size_t>(input.size()), &failure, &messages,
                                           false))
            driver.fail("messages", messages, failure, input, "irc-messages");
    }
    const double seconds = driver.seconds();
    std::printf("messages %llu\nmessages_per_second %.0f\n", static_cast<unsigned long long>(messages),
                double(messages) / seconds);
    return 0;
}
