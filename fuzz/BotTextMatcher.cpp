#include "fuzz/BotTextMatcher.h"

#include "chat/RoomTexts.h"
#include "platform/LetterCase.h"

#include <limits>

namespace palvuro {

namespace {

bool isDigits(const QString& text) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Stands for a text part when a line is built only to learn its fixed parts.
const QChar Slot(0xE000);

// The fixed parts of a line built with Slot for each text part, in order.
QStringList fixedParts(const QString& built) {
    return built.split(Slot);
}

// The text between `head` and `tail` when `text` is made of the three; false otherwise.
bool between(const QString& text, const QString& head, const QString& tail, QString* middle) {
    if (text.size() < head.size() + tail.size() || !text.startsWith(head) || !text.endsWith(tail))
        return false;
    *middle = text.mid(head.size(), text.size() - head.size() - tail.size());
    return true;
}

} // namespace

BotTextMatcher::BotTextMatcher(Facts facts) : facts_(std::move(facts)) {
    categoryList_ = RoomTexts::categoryList(facts_.categories);
    helpText_ = RoomTexts::help();
}

bool BotTextMatcher::matches(const QString& text, const Scores& before, const Scores& after) const {
    static const QStringList fixed = {
        RoomTexts::notifyOff(),   RoomTexts::triviaEnded(),  RoomTexts::notStarted(),
        RoomTexts::noQuestions(), RoomTexts::unauthorized(), RoomTexts::noAuthorizedUsers(),
    };
    if (fixed.contains(text) || text == categoryList_ || facts_.questions.contains(text))
        return true;
    return isHint(text) || isTimesUp(text) || isAnnouncement(text) || parseCorrect(text).has_value() ||
           isPrivate(text, before, after);
}

bool BotTextMatcher::isNick(const QString& nick) const {
    return !nick.contains(QLatin1Char(':')) && LetterCase::isUpper(nick);
}

bool BotTextMatcher::isHint(const QString& text) const {
    static const QStringList parts = fixedParts(RoomTexts::hint(Slot));
    QString hint;
    if (!between(text, parts.at(0), parts.at(1), &hint))
        return false;
    for (const QString& answer : facts_.answers) {
        if (isHintOf(hint, answer))
            return true;
    }
    return false;
}

bool BotTextMatcher::isHintOf(const QString& hint, const QString& answer) const {
    if (hint.size() != answer.size() * 2 || answer.size() < 2)
        return false;
    int shown = 0;
    for (qsizetype i = 0; i < answer.size(); ++i) {
        const QChar c = answer.at(i);
        const QChar h = hint.at(2 * i);
        if (hint.at(2 * i + 1) != QLatin1Char(' '))
            return false;
        if (c == QLatin1Char(' ')) {
            if (h != QLatin1Char(' '))
                return false;
        } else if (h == c && c != QLatin1Char('_')) {
            ++shown;
        } else if (h != QLatin1Char('_')) {
            return false;
        }
    }
    return shown >= 1 && shown <= 2;
}

bool BotTextMatcher::isTimesUp(const QString& text) const {
    if (text == RoomTexts::timesUp(facts_.pauseSecs))
        return true;
    for (const QString& answer : facts_.answers) {
        if (text == RoomTexts::timesUpAnswerWas(answer, facts_.pauseSecs))
            return true;
    }
    return false;
}

std::optional<BotTextMatcher::Correct> BotTextMatcher::parseCorrect(const QString& text) const {
    Correct correct;
    const QStringList notSaved = fixedParts(RoomTexts::correctNotSaved(Slot, facts_.pauseSecs));
    if (!between(text, notSaved.at(0), notSaved.at(1), &correct.nick)) {
        // The score is digits, so the last tail before it ends the nick; the whole line built
        // again from the nick and the score must be the text.
        const QString head = fixedParts(RoomTexts::correctAnswer(Slot, 0, facts_.pauseSecs)).at(0);
        const qsizetype open = text.lastIndexOf(RoomTexts::correctTail());
        if (!text.startsWith(head) || open < head.size())
            return std::nullopt;
        const QString nick = text.mid(head.size(), open - head.size());
        const qsizetype from = open + RoomTexts::correctTail().size();
        qsizetype end = from;
        while (end < text.size() && isDigits(text.mid(end, 1)))
            ++end;
        const QString digits = text.mid(from, end - from);
        if (!isDigits(digits) ||
            text != RoomTexts::correctAnswer(nick, digits.toLongLong(), facts_.pauseSecs))
            return std::nullopt;
        correct.nick = nick;
        correct.score = digits.toLongLong();
    }
    if (correct.nick.isEmpty() || !isNick(correct.nick) || correct.nick == facts_.botNick)
        return std::nullopt;
    return correct;
}

bool BotTextMatcher::isAnnouncement(const QString& text) const {
    for (const QString& nick : facts_.authorized) {
        if (text == RoomTexts::startedBy(nick) || text == RoomTexts::endedBy(nick))
            return true;
    }
    return false;
}

bool BotTextMatcher::isPrivate(const QString& text, const Scores& before, const Scores& after) const {
    static const QStringList parts = fixedParts(RoomTexts::privateReply(Slot, Slot));
    const QString& open = parts.at(0);
    const QString& bold = parts.at(1);
    const QString& close = parts.at(2);
    if (!text.startsWith(open) || !text.endsWith(close))
        return false;
    // A nick may itself hold " <b>": try every place the requester could end.
    for (qsizetype at = text.indexOf(bold, open.size()); at >= 0; at = text.indexOf(bold, at + 1)) {
        const QString requester = text.mid(open.size(), at - open.size());
        const qsizetype bodyStart = at + bold.size();
        if (bodyStart > text.size() - close.size())
            break;
        const QString body = text.mid(bodyStart, text.size() - close.size() - bodyStart);
        if (isNick(requester) && isPrivateBody(requester, body, before, after))
            return true;
    }
    return false;
}

bool BotTextMatcher::isPrivateBody(const QString& requester, const QString& body, const Scores& before,
                                   const Scores& after) const {
    static const QStringList fixed = {
        RoomTexts::noScoresYet(),
        RoomTexts::badCommand(),
    };
    if (fixed.contains(body) || body == helpText_ || facts_.questions.contains(body))
        return true;
    if (showsScoreOf(requester, body, RoomTexts::ownScore, before, after))
        return true;
    static const QString other = RoomTexts::otherScoreInfix();
    const qsizetype at = body.lastIndexOf(other);
    if (at >= 0) {
        const QString target = body.left(at);
        const auto otherScore = [&target](std::optional<qint64> points) {
            return RoomTexts::otherScore(target, points);
        };
        // The named nick is the word after the command: any character but a blank.
        if (!target.contains(QLatin1Char(' ')) && LetterCase::isUpper(target) &&
            showsScoreOf(target, body, otherScore, before, after))
            return true;
    }
    return isTopList(body, before, after);
}

bool BotTextMatcher::showsScoreOf(const QString& nick, const QString& text,
                                  const std::function<QString(std::optional<qint64>)>& build,
                                  const Scores& before, const Scores& after) const {
    if (text == build(std::nullopt))
        return !before.contains(nick) || !after.contains(nick);
    for (const Scores* scores : {&before, &after}) {
        if (scores->contains(nick) && text == build(scores->value(nick)))
            return true;
    }
    return false;
}

bool BotTextMatcher::isTopList(const QString& body, const Scores& before, const Scores& after) const {
    // Read as rows of a nick, a blank and digits, then built again: only the bot's own layout
    // comes out the same.
    QList<TriviaDatabase::Score> rows;
    for (const QString& line : body.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
        if (blank < 0 || !isDigits(line.mid(blank + 1)))
            return false;
        rows.append({line.left(blank), line.mid(blank + 1).toLongLong()});
    }
    if (rows.isEmpty() || rows.size() > 10 || body != RoomTexts::topScores(rows))
        return false;
    qint64 previous = std::numeric_limits<qint64>::max();
    for (const TriviaDatabase::Score& row : rows) {
        if (row.points > previous ||
            (before.value(row.nick, -1) != row.points && after.value(row.nick, -1) != row.points))
            return false;
        previous = row.points;
    }
    return true;
}

} // namespace palvuro
