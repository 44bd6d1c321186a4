#include "chatclient/ScriptLine.h"

#include <limits>

namespace palvuro {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

qsizetype skipBlanks(const QString& s, qsizetype pos) {
    while (pos < s.size() && isBlank(s.at(pos)))
        ++pos;
    return pos;
}

qsizetype skipWord(const QString& s, qsizetype pos) {
    while (pos < s.size() && !isBlank(s.at(pos)))
        ++pos;
    return pos;
}

// Milliseconds written as plain digits that fit an int, or -1.
int milliseconds(const QString& word) {
    if (word.isEmpty() || word.size() > 10)
        return -1;
    for (const QChar c : word) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    const qlonglong value = word.toLongLong();
    return value > std::numeric_limits<int>::max() ? -1 : static_cast<int>(value);
}

ScriptLine failed(QString* error, const QString& why) {
    if (error)
        *error = why;
    return {};
}

ScriptLine parseSay(const QString& args, QString* error) {
    const qsizetype nickStart = skipBlanks(args, 0);
    const qsizetype nickEnd = skipWord(args, nickStart);
    if (nickEnd == nickStart || nickEnd + 1 >= args.size())
        return failed(error, QStringLiteral("say needs a nick and a text"));
    ScriptLine out;
    out.kind = ScriptLine::Kind::Say;
    out.nick = args.mid(nickStart, nickEnd - nickStart);
    out.text = args.mid(nickEnd + 1);
    return out;
}

ScriptLine parseExpect(const QString& args, QString* error) {
    if (args.trimmed().isEmpty())
        return failed(error, QStringLiteral("expect needs a text"));
    ScriptLine out;
    out.kind = ScriptLine::Kind::Expect;
    out.text = args;
    out.ms = ScriptLine::kDefaultExpectMs;
    qsizetype end = args.size();
    while (end > 0 && isBlank(args.at(end - 1)))
        --end;
    qsizetype wordStart = end;
    while (wordStart > 0 && !isBlank(args.at(wordStart - 1)))
        --wordStart;
    qsizetype textEnd = wordStart;
    while (textEnd > 0 && isBlank(args.at(textEnd - 1)))
        --textEnd;
    const int ms = milliseconds(args.mid(wordStart, end - wordStart));
    if (ms >= 0 && textEnd > 0) {
        out.text = args.left(textEnd);
        out.ms = ms;
    }
    return out;
}

// A command whose arguments are exactly `count` words (0 or 1).
bool wordArgs(const QString& args, int count, QString* word) {
    const QString trimmed = args.trimmed();
    if (count == 0)
        return trimmed.isEmpty();
    if (trimmed.isEmpty() || skipWord(trimmed, 0) != trimmed.size())
        return false;
    *word = trimmed;
    return true;
}

} // namespace

ScriptLine ScriptLine::parse(const QString& line, QString* error) {
    if (error)
        error->clear();
    const qsizetype start = skipBlanks(line, 0);
    if (start == line.size() || line.at(start) == QLatin1Char('#'))
        return {};
    const qsizetype keywordEnd = skipWord(line, start);
    const QString keyword = line.mid(start, keywordEnd - start);
    // Arguments begin after the one blank that ends the keyword, so a said text keeps its blanks.
    const QString args = keywordEnd < line.size() ? line.mid(keywordEnd + 1) : QString();

    if (keyword == QLatin1String("say"))
        return parseSay(args, error);
    if (keyword == QLatin1String("expect"))
        return parseExpect(args, error);
    ScriptLine out;
    QString word;
    if (keyword == QLatin1String("wait")) {
        out.ms = wordArgs(args, 1, &word) ? milliseconds(word) : -1;
        if (out.ms < 0)
            return failed(error, QStringLiteral("wait needs a number of milliseconds"));
        out.kind = Kind::Wait;
        return out;
    }
    if (keyword == QLatin1String("join") || keyword == QLatin1String("leave")) {
        if (!wordArgs(args, 1, &word))
            return failed(error, keyword + QStringLiteral(" needs one nick"));
        out.kind = keyword == QLatin1String("join") ? Kind::Join : Kind::Leave;
        out.nick = word;
        return out;
    }
    if (keyword == QLatin1String("quit")) {
        if (!wordArgs(args, 0, &word))
            return failed(error, QStringLiteral("quit takes no arguments"));
        out.kind = Kind::Quit;
        return out;
    }
    return failed(error, QStringLiteral("unknown command \"%1\"").arg(keyword));
}

} // namespace palvuro
