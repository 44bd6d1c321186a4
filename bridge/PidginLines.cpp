#include "bridge/PidginLines.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <memory>

namespace palvuro {

namespace {

const QString kColor = QStringLiteral("fg-color");
const QString kWeight = QStringLiteral("weight");
const QString kSize = QStringLiteral("size");
const QString kNormalWeight = QStringLiteral("400");
const QLatin1String kNickEnd(": ");
const QLatin1String kActionStart("***");
constexpr QChar kObjectReplacement(0xFFFC); // a picture or smiley in the text
// What Pidgin writes into each group chat of an account that disconnected. It joins the chat
// again by itself once the account is back, and writes nothing then.
const QString kAccountLeft =
    QStringLiteral("The account has disconnected and you are no longer in this chat. You will automatically "
                   "rejoin the chat when the account reconnects.");

using Line = QList<TextRun>;

// Splits RUNS at Pidgin's line breaks; every piece keeps its run's attributes.
QList<Line> splitLines(const QList<TextRun>& runs) {
    QList<Line> lines{Line()};
    for (const TextRun& run : runs) {
        const QStringList pieces = run.text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                lines << Line();
            if (pieces.at(i).isEmpty())
                continue;
            TextRun piece = run;
            piece.text = pieces.at(i);
            lines.last() << piece;
        }
    }
    return lines;
}

// Text as one line of the room: no control characters, no embedded objects.
QString plain(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r'))
            out += QLatin1Char(' ');
        else if (c.unicode() >= 0x20 && c.unicode() != 0x7F && c != kObjectReplacement)
            out += c;
    }
    return out;
}

QString joined(const Line& line, qsizetype from) {
    QString out;
    for (qsizetype i = from; i < line.size(); ++i)
        out += line.at(i).text;
    return plain(out);
}

bool isBold(const TextRun& run) {
    return run.attributes.value(kWeight).toInt() >= 700;
}

ConversationLine classify(const Line& line) {
    // line.at(0) is the time stamp.
    if (line.size() < 2)
        return {ConversationLine::Kind::Notice, {}, {}};
    const TextRun& lead = line.at(1);
    if (lead.has(kColor) && lead.text.endsWith(kNickEnd) && lead.text.size() > kNickEnd.size())
        return {ConversationLine::Kind::Said, plain(lead.text.chopped(kNickEnd.size())), joined(line, 2)};
    if (isBold(lead) && lead.has(kColor) && lead.text.startsWith(kActionStart)) {
        // "***NICK " in one run, the action's text after it.
        const QString nick = plain(lead.text.mid(kActionStart.size())).trimmed();
        if (!nick.isEmpty())
            return {ConversationLine::Kind::Action, nick, joined(line, 2).trimmed()};
    }
    const QString text = joined(line, 1).trimmed();
    if (isBold(lead) && !lead.has(kColor) && text == kAccountLeft)
        return {ConversationLine::Kind::Left, {}, text};
    return {ConversationLine::Kind::Notice, {}, text};
}

} // namespace

bool PidginLines::isTimeStamp(const TextRun& run) {
    // "(12:20:27) ", "(12:20:27 PM) ", "(07.12.2026 12:20:27) ": whatever the locale writes.
    static const QRegularExpression stamp(QStringLiteral(R"(^\([^()]{0,30}\d:\d\d[^()]{0,10}\) $)"));
    // The normal weight is Pidgin's own mark: rich text cannot set it.
    return run.has(kSize) && run.attributes.value(kWeight) == kNormalWeight &&
           stamp.match(run.text).hasMatch();
}

int PidginLines::secondOfDay(const QString& stamp) {
    static const QRegularExpression time(QStringLiteral(R"((\d{1,2}):(\d\d):(\d\d)\s*([AaPp]\.?[Mm])?)"));
    const QRegularExpressionMatch m = time.match(stamp);
    if (!m.hasMatch())
        return -1;
    int hour = m.captured(1).toInt();
    if (!m.captured(4).isEmpty())
        hour = hour % 12 + (m.captured(4).startsWith(QLatin1Char('p'), Qt::CaseInsensitive) ? 12 : 0);
    return (hour * 60 + m.captured(2).toInt()) * 60 + m.captured(3).toInt();
}

PidginLines::PidginLines(Clock clock) : clock_(std::move(clock)) {
    if (!clock_) {
        auto steady = std::make_shared<QElapsedTimer>();
        steady->start();
        clock_ = [steady] { return steady->elapsed(); };
    }
}

bool PidginLines::isReplay(const TextRun& stamp) {
    constexpr int kDay = 24 * 3600;
    const int second = secondOfDay(stamp.text);
    if (second < 0)
        return false;
    const qint64 now = clock_();
    const bool recent = latest_ >= 0 && now - latestAt_ <= ReplayWindowMs;
    const int back = recent ? (latest_ - second + kDay) % kDay : 0;
    if (back > 0 && back <= ReplayWindowMs / 1000)
        return true; // the newest stamp stays the newest
    latest_ = second;
    latestAt_ = now;
    return false;
}

QList<ConversationLine> PidginLines::parse(const QList<TextRun>& runs) {
    QList<ConversationLine> out;
    for (const Line& line : splitLines(runs)) {
        if (line.isEmpty())
            continue;
        if (isTimeStamp(line.first())) {
            ConversationLine taken = classify(line);
            const bool said =
                taken.kind == ConversationLine::Kind::Said || taken.kind == ConversationLine::Kind::Action;
            if (isReplay(line.first()) && said)
                taken = {ConversationLine::Kind::Other, {}, joined(line, 1).trimmed()};
            out << taken;
            continue;
        }
        const QString text = joined(line, 0).trimmed();
        if (text.isEmpty())
            continue;
        if (!out.isEmpty() && out.last().kind != ConversationLine::Kind::Other)
            out.last().text += QLatin1Char(' ') + text;
        else
            out << ConversationLine{ConversationLine::Kind::Other, {}, text};
    }
    return out;
}

} // namespace palvuro
