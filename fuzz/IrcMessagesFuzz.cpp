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

// The lines the splitter takes apart one by one: NUL gone, CR LF, CR and LF each a break.
QStringList textLines(const QString& text) {
    QString clean = text;
    clean.remove(QChar(u'\0'));
    clean.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    clean.replace(QChar(u'\r'), QChar(u'\n'));
    return clean.split(QChar(u'\n'), Qt::SkipEmptyParts);
}

bool boldAfter(const QString& piece, bool on) {
    for (const QChar c : piece) {
        if (c == QChar(0x02))
            on = !on;
        else if (c == QChar(0x0F))
            on = false;
    }
    return on;
}

// The pieces of one LINE say it whole: a continuation may open bold again where the line's
// bold was on at the cut, and a cut may drop the one blank it was made at; nothing else is
// added, lost or reordered.
bool piecesSayLine(const QString& line, const QList<QByteArray>& pieces, int budget) {
    QString joined;
    bool bold = false;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QString piece = QString::fromUtf8(pieces.at(i));
        if (i > 0 && bold && budget > 4) {
            if (!piece.startsWith(QChar(0x02)))
                return false;
            piece.remove(0, 1);
        }
        bold = boldAfter(piece, bold);
        joined += piece;
    }
    QString withoutBlanks = line;
    withoutBlanks.remove(QLatin1Char(' '));
    const qsizetype dropped = line.size() - joined.size();
    return joined.isEmpty() == line.isEmpty() && dropped >= 0 && dropped < pieces.size() &&
           QString(joined).remove(QLatin1Char(' ')) == withoutBlanks;
}

bool checkSplit(const QByteArray& bytes, QString* failure) {
    const QString text = IrcText::decode(bytes);
    const int budget = bytes.isEmpty() ? 4 : static_cast<unsigned char>(bytes.at(0)) * 2;
    QList<QByteArray> linePieces;
    for (const QString& line : textLines(text)) {
        const QList<QByteArray> pieces = IrcLineSplitter::split(line, budget);
        if (!piecesSayLine(line, pieces, budget)) {
            *failure = QStringLiteral("the pieces are not the text");
            return false;
        }
        linePieces += pieces;
    }
    const QList<QByteArray> all = IrcLineSplitter::split(text, budget);
    if (all != linePieces) {
        *failure = QStringLiteral("a text is not split as its lines are");
        return false;
    }
    for (const QByteArray& piece : all) {
        if (piece.isEmpty() || piece.size() > std::max(budget, 4) || hasLineBreak(piece) ||
            QString::fromUtf8(piece).toUtf8() != piece) {
            *failure =
                QStringLiteral("a piece is empty, too long, cut inside a character or breaks the line");
            return false;
        }
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
