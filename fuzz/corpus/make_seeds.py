#!/usr/bin/env python3
"""Writes the committed seed inputs of the fuzz cases (run from fuzz/corpus)."""
import struct


def rec(*parts):
    out = b''
    for p in parts:
        out += bytes([p]) if isinstance(p, int) else p
    assert b'\n' not in out, 'a line feed would split the record'
    return out


def inp(*records):
    return b'\n'.join(records) + b'\n'


# Record actions: 0 Anna, 1 BOB, 2 the bot's nick, 3 any nick, 4 /msg, 5 command (template,
# speaker), 6 reader ticks (rounds, step), 7 pause ticks, 8 the answer (who, form), 9 long line.
# Template 10 is written as 32 (32 % 22 = 10), since byte 10 ends a record.
CMD = {'START HISTORY': 0, 'START ': 1, 'START': 2, 'GETUSERSCORE ': 3, 'TOP': 4, 'QUIT': 5, 'Q': 6,
       'MYSCORE': 7, 'HELP': 8, 'CATEGORIES': 9, 'start art': 32, 'passwd': 11, 'tmpx': 12, 'sqli': 13,
       'EMPTY': 14, 'WEIRD': 15, 'GUS ANNA': 16, 'Psystem': 17, 'sqlite_master': 18, 'TOP START': 19,
       '[HISTORY]': 20, '"ART"': 21}


def cmd(name, speaker=0, extra=b''):
    return rec(5, CMD[name], speaker, extra)


def room_lines():
    wait_first = rec(6, 0, 220)  # 2.2 s: the first question comes
    seeds = {
        'game.bin': inp(
            cmd('START HISTORY'), wait_first, cmd('Q', 1),
            rec(8, 0, 0), rec(7, 1, 0), rec(6, 0, 0),
            rec(8, 1, 1), rec(7, 1, 0),
            rec(6, 15, 20), rec(6, 15, 20), rec(7, 2, 0),
            rec(8, 3, 2, b'well'), rec(8, 1, 0), cmd('TOP', 1), cmd('MYSCORE', 1), cmd('GUS ANNA', 1),
            cmd('QUIT', 1), cmd('QUIT', 0), rec(7, 3, 0), rec(6, 15, 255)),
        'commands.bin': inp(*[cmd(n, s) for n in CMD for s in (0, 1, 3)] + [
            cmd('GETUSERSCORE ', 1, b'ANNA '), cmd('GETUSERSCORE ', 1, b'  ANNA'),
            cmd('GETUSERSCORE ', 1, b'nobody at all'), cmd('TOP', 0, b'10'), cmd('HELP', 1, b' me'),
            cmd('CATEGORIES', 2), cmd('Q', 0, b'UIT')]),
        'hostile.bin': inp(
            rec(3, b'E\xefve:l /MSG x !START HISTORY'), rec(3, b' !TOP'), rec(3, b'ANNA  : !START ART'),
            rec(4, 0, b'TriviaBot !START HISTORY'), rec(4, 1, b'ANNA hi'),
            rec(0, b'\x00\x01\x02\x7f\x81\x8d\x9d\xff'), rec(1, b'\r!TOP\r\x0b'), rec(0, b'!START\tART'),
            rec(9, 250, b'!TOP '), rec(9, 3, b'\xe9'), rec(3, b'A\x00B !MYSCORE'), rec(3, b'\x00 !HELP'),
            rec(0, b'!START ART'), rec(6, 0, 220), rec(1, b'  : !Q'), rec(0, b"!GETUSERSCORE ROBERT'); "),
            rec(1, b'!CATEGORIES'), rec(0, b'!QUIT'), rec(3, b'\xdf\xb5\xff !MYSCORE'), rec(1, b'!q'),
            rec(0, b'%s%n%x'), b'', rec(1, b'x' * 300)),
        'botnick.bin': inp(
            cmd('START HISTORY'), wait_first, rec(8, 2, 0), rec(2, b'!QUIT'), rec(2, b'!START ART'),
            rec(8, 2, 2, b'x'), cmd('Q', 2), rec(6, 15, 30), rec(6, 15, 30), rec(7, 2, 0), rec(8, 4, 0),
            cmd('QUIT', 4)),
        'odd.bin': inp(
            cmd('EMPTY'), wait_first, rec(6, 3, 100), cmd('WEIRD'), wait_first, rec(1, b'!quit'),
            rec(0, b'!quit'), cmd('WEIRD', 1), cmd('WEIRD', 3), wait_first, rec(8, 1, 0), rec(7, 1, 0),
            rec(8, 0, 0), rec(7, 1, 0), rec(8, 4, 1), cmd('START ', 0), cmd('START', 0), cmd('passwd', 0),
            cmd('tmpx', 3), cmd('Psystem'), cmd('sqlite_master'), cmd('[HISTORY]'), cmd('"ART"'),
            cmd('TOP START', 0), cmd('start art', 0), wait_first, rec(6, 15, 255), rec(6, 15, 255),
            rec(7, 3, 0), cmd('QUIT')),
    }
    return seeds


def users_file():
    return {
        'normal.txt': b'"Anna"\r\n"carl"\r\n"O\'Brien"\r\n',
        'unquoted.txt': b'alice, bob\r\n  carol  ,dave\r\n',
        'blank-lines.txt': b'\r\n\r\n"x"\r\n\r\n',
        'unterminated.txt': b'"Anna"\r\n"never closed\r\nbob\r\n',
        'nul.txt': b'"A\x00na"\r\n\x00\x00\r\n"\x00"',
        'line-ends.txt': b'"a"\n"b"\r"c"\r\n\n\r',
        'after-quote.txt': b'"Anna" trailing, "x"y\r\n"b",c\r\n',
        'high-bytes.txt': b'"\x80\x81\x8d\x8f\x90\x9d\xff\xe9"\r\n\xa0\xa0\r\n',
        'marker.txt': b'"*****DELETED*****"\r\n"Amy"\r\n',
        'empty.txt': b'',
        'quotes.txt': b'"""\r\n"a""b"\r\n"\r\n',
    }


def req(op, handle=0, msg=0, w=0, l=0, data=b''):
    payload = struct.pack('<BIIQq', op, handle, msg, w, l) + data
    return struct.pack('<I', len(payload)) + payload


def names(cls, title):
    flags = (1 if cls is not None else 0) | (2 if title is not None else 0)
    c = cls or b''
    return bytes([flags]) + struct.pack('<I', len(c)) + c + (title or b'')


def bus_frames():
    # The published room's handles start at 0x1001 (main window, room, text, input, ...).
    handles = (0, 0x1001, 0x1002, 0x1003, 0x1004, 0x1008, 0x1009)
    return {
        'valid.bin': req(1, data=names(None, b'Palvuro 2.0')) + req(2) + req(3, 0x1001) + req(4, 0x1003)
        + req(5, 0x1002) + req(6, 0x1001) + req(7, 0x1002, data=names(b'Edit', None))
        + req(8, 0x1003, 186) + req(8, 0x1003, 187, 0) + req(8, 0x1003, 193, 0)
        + req(8, 0x1003, 196, 0, data=b'\x10\x00') + req(8, 0x1004, 12, 5, data=b'hello')
        + req(9, 0x1009, 513) + req(9, 0x1009, 514),
        'too-long.bin': struct.pack('<I', 0xFFFFFFFF) + b'xxxx',
        'truncated.bin': req(4, 0x1001)[:-3],
        'bad-op.bin': req(0, 0x1001) + req(200, 0x1001),
        'short-payload.bin': struct.pack('<I', 3) + b'\x04\x01\x10',
        'getline-odd.bin': req(8, 0x1003, 196, 0xFFFFFFFF, data=b'\xff\xff')
        + req(8, 0x1003, 196, 0, data=b'\x00') + req(8, 0x1003, 196, 2**63, data=b'\x00\x00'),
        'names-bad.bin': req(1, data=b'\x03\xff\xff\xff\xff')
        + req(7, 0x1002, w=0x1003, data=b'\x01\x02\x00\x00\x00') + req(7, 0xFFFFFFFF, data=names(b'', b'')),
        'send-any.bin': b''.join(req(8, h, m, 0xFFFFFFFFFFFFFFFF, -1)
                                 for h in handles for m in (0, 12, 186, 187, 193, 196, 273, 513, 514)),
        'post-any.bin': b''.join(req(9, 0x1002, 273, w, h) for w in (0, 1, 2, 0xFFFF) for h in handles),
        'empty-frame.bin': struct.pack('<I', 0) * 4,
    }


def irc_messages():
    # Server lines as the client reads them: one per line feed, CR LF or LF.
    return {
        'session.bin': b'\r\n'.join([
            b':srv CAP * LS * :multi-prefix sasl=PLAIN,EXTERNAL', b':srv CAP * LS :message-tags',
            b':srv CAP TriviaBot ACK :message-tags sasl', b'AUTHENTICATE +',
            b':srv 903 TriviaBot :SASL authentication successful',
            b':srv 001 TriviaBot :Welcome to the network TriviaBot!~palvuro@host.example',
            b':srv 005 TriviaBot NICKLEN=30 MONITOR=100 WATCH=128 CHANTYPES=# :are supported',
            b':TriviaBot!~palvuro@host.example JOIN #trivia',
            b':srv 353 TriviaBot = #trivia :@TriviaBot +ANNA %BOB ~@CAT',
            b':srv 366 TriviaBot #trivia :End of /NAMES list.', b'PING :srv',
            b':srv 433 * TriviaBot :Nickname is already in use', b':srv 731 TriviaBot :TriviaBot',
            b':ANNA!a@h NICK :ANNE', b':BOB!b@h PART #trivia :bye', b':CAT!c@h KICK #trivia ANNE :out',
            b':ANNE!a@h QUIT :Quit: gone', b'ERROR :Closing Link: 127.0.0.1 (Ping timeout)']) + b'\r\n',
        'hostile.bin': b'\n'.join([
            b'@time=2026-01-01T00:00:00.000Z;+draft/reply=a\\sb\\:c\\\\d\\ :ANNA!a@h PRIVMSG #trivia :hi',
            b':ANNA!a@h PRIVMSG #trivia :\x02\x0304,12Paris\x0f \x04ff00aa,000000Rome\x1d\x1f\x16\x11\x1e',
            b':ANNA!a@h PRIVMSG #trivia :\x01ACTION waves\x01', b':ANNA!a@h PRIVMSG TriviaBot :\x01VERSION\x01',
            b':ANNA!a@h PRIVMSG #trivia :caf\xe9 \xc3\x28 \xf0\x9f\x8e\xb2 \xed\xa0\x80',
            b':ANNA!a@h PRIVMSG #trivia :' + b'x' * 1200, b':ANNA!a@h PRIVMSG #trivia :a\rQUIT :b\x00c',
            b'@', b':', b': :', b'@a :b', b':n @X :y', b'   ', b'CMD' + b' x' * 600, b'\x00\x00\r',
            b":'; DROP TABLE scores; -- PRIVMSG #trivia :'; DELETE FROM users --"]),
        # In the channel, then everything a chatter or a server might try to make us say.
        'joined-hostile.bin': b'\r\n'.join([
            b':srv 001 TriviaBot :Welcome', b':TriviaBot!u@h JOIN :#trivia',
            b':ANNA!a@h PRIVMSG TriviaBot :\x01VERSION\x01', b':ANNA!a@h PRIVMSG TriviaBot :\x01PING 123\x01',
            b':ANNA!a@h NOTICE TriviaBot :\x01VERSION x\x01', b':ANNA!a@h PRIVMSG #trivia :!start\r\nQUIT',
            b':ANNA!a@h INVITE TriviaBot #other', b':ANNA!a@h KICK #trivia TriviaBot :bye',
            b':TriviaBot!u@h NICK :Other', b':srv 433 Other TriviaBot :in use', b':srv 731 Other :TriviaBot',
            b':srv 005 Other NICKLEN=3 :ok', b':srv 001', b':srv 353', b':srv 366', b':srv 731', b':srv 605',
            b'CAP', b'CAP * ACK', b'AUTHENTICATE +', b':srv 904', b':srv 396 Other']) + b'\r\n',
        'nick-refusals.bin': b''.join(b':srv 433 * TriviaBot :in use\r\n' for _ in range(60)),
        # A server that forwards a refused JOIN elsewhere, or puts us into a channel of its own.
        'forwarded.bin': b'\r\n'.join([
            b':srv 001 TriviaBot :Welcome', b':srv 470 TriviaBot #trivia ##overflow :Forwarding',
            b':TriviaBot!u@h JOIN ##overflow', b':TriviaBot!u@h JOIN #', b':TriviaBot!u@h JOIN :#trivi\x00a',
            b':TriviaBot!u@h JOIN :#trivia']) + b'\r\n',
    }


for folder, seeds in (('fuzz_room_lines', room_lines()), ('fuzz_users_file', users_file()),
                      ('fuzz_bus_frames', bus_frames()), ('fuzz_irc_messages', irc_messages())):
    for name, data in seeds.items():
        with open(f'{folder}/{name}', 'wb') as out:
            out.write(data)
