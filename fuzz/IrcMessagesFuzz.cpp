#include "fuzz/IrcMessagesFuzz.h"

#include "fuzz/IrcSessionFuzz.h"

#include "irc/IrcCtcp.h"
#include "irc/IrcLineSplitter.h"
#include "irc/IrcMessage.h"
#include "irc/IrcText.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace palvuro {
namespace {

bool hasLineBreak(const QByteArray& bytes) {
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

bool checkRoundTrip(const IrcMessage& message, QString* failure) {
    const QByteArray written = message.serialize();
    if (hasLineBreak(written)) {
        *failure = QStringLiteral("a written line holds CR, LF or NUL");
        return false;
    }
    const IrcMessage again = IrcMessage::parse(written);
    if (!again.isValid() || again.command != message.command || again.serialize() != written ||
        again.params.size() > message.params.size()) {
        *failure =
            QStringLiteral("a written line does not read back: ") + QString::fromLatin1(written.toHex());
        return false;
    }
    return true;
}

bool checkShown(const QByteArray& bytes, QString* failure) {
    const QString shown = IrcText::plain(bytes);
    for (QChar c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            *failure = QStringLiteral("shown text keeps a control character");
            return false;
        }
    }
    IrcCtcp::parse(bytes);
    return true;
}

bool checkSplit(const QByteArray& line, QString* failure) {
    const QString text = IrcText::decode(line);
    const int budget = line.isEmpty() ? 4 : static_cast<unsigned char>(line.at(0)) * 2;
    QString expected = text;
    expected.remove(QChar(u'\0')).remove(QChar(u'\r')).remove(QChar(u'\n'));
    QByteArray joined;
    for (const QByteArray& piece : IrcLineSplitter::split(text, budget)) {
        if (piece.isEmpty() || piece.size() > std::max(budget, 4) || hasLineBreak(piece) ||
            QString::fromUtf8(piece).toUtf8() != piece) {
            *failure =
                QStringLiteral("a piece is empty, too long, cut inside a character or breaks the line");
            return false;
        }
        joined += piece;
    }
    if (QString::fromUtf8(joined) != expected) {
        *failure = QStringLiteral("the pieces are not the text");
        return false;
    }
    return true;
}

} // namespace

bool IrcMessagesFuzz::run(const std::uint8_t* data, std::size_t size, QString* failure,
                          std::uint64_t* messages, bool withSession) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (QByteArray line : input.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (messages)
            ++*messages;
        const IrcMessage message = IrcMessage::parse(line);
        if (message.isValid() && !checkRoundTrip(message, failure))
            return false;
        for (const QByteArray& param : message.params) {
            if (!checkShown(param, failure))
                return false;
        }
        if (!checkSplit(line, failure))
            return false;
    }
    return !withSession || IrcSessionFuzz::run(input, failure);
}

int fuzzIrcMessages(const std::uint8_t* data, std::size_t size) {
    QString failure;
    if (!IrcMessagesFuzz::run(data, size, &failure)) {
        std::fprintf(stderr, "fuzz_irc_messages: invariant broken: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}

} // namespace palvuro
