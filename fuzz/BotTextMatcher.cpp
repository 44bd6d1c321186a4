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

// Splits `text` into what comes before `tail` at its very end; false when it does not end so.
bool cutTail(const QString& text, const QString& tail, QString* head) {
    if (!text.endsWith(tail))
        return false;
    *head = text.left(text.size() - tail.size());
    return true;
}

} // namespace

BotTextMatcher::BotTextMatcher(Facts facts) : facts_(std::move(facts)) {
    notice_ = RoomTexts::nextQuestionNotice(facts_.pauseSecs);
    categoryList_ = RoomTexts::categoriesHeader();
    for (const QString& name : facts_.categories)
        categoryList_ += QLatin1Char('[') + name + QStringLiteral("]\r\n");
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
    static const QString prefix = RoomTexts::hintPrefix();
    if (!text.startsWith(prefix))
        return false;
    const QString hint = text.mid(prefix.size());
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
    QString head;
    if (!cutTail(text, notice_, &head))
        return false;
    if (head == RoomTexts::timesUpNotAnswered())
        return true;
    static const QString reveal = RoomTexts::timesUpAnswerWas();
    return head.startsWith(reveal) && facts_.answers.contains(head.mid(reveal.size()));
}

std::optional<BotTextMatcher::Correct> BotTextMatcher::parseCorrect(const QString& text) const {
    QString head;
    if (!text.startsWith(QLatin1String("(*)")) || !cutTail(text, notice_, &head))
        return std::nullopt;
    Correct correct;
    QString nick;
    if (cutTail(head, RoomTexts::notSavedTail(), &nick)) {
        correct.nick = nick.mid(3);
    } else {
        // From the right: the score is digits, so the last "[ " opens it.
        QString scored;
        if (!cutTail(head, QStringLiteral(" ]"), &scored))
            return std::nullopt;
        const qsizetype open = scored.lastIndexOf(RoomTexts::correctTail());
        if (open < 3 || !isDigits(scored.mid(open + RoomTexts::correctTail().size())))
            return std::nullopt;
        correct.nick = scored.mid(3, open - 3);
        correct.score = scored.mid(open + RoomTexts::correctTail().size()).toLongLong();
    }
    if (correct.nick.isEmpty() || !isNick(correct.nick) || correct.nick == facts_.botNick)
        return std::nullopt;
    return correct;
}

bool BotTextMatcher::isAnnouncement(const QString& text) const {
    for (const QString& prefix : {RoomTexts::startedByPrefix(), RoomTexts::endedByPrefix()}) {
        if (text.startsWith(prefix) && text.endsWith(QLatin1Char(']')) &&
            facts_.authorized.contains(text.mid(prefix.size(), text.size() - prefix.size() - 1)))
            return true;
    }
    return false;
}

bool BotTextMatcher::isPrivate(const QString& text, const Scores& before, const Scores& after) const {
    static const QString open = QStringLiteral("/msg ");
    static const QString bold = QStringLiteral(" <b>");
    static const QString close = QStringLiteral("</b>");
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
    static const QString own = RoomTexts::ownScorePrefix();
    if (body.startsWith(own))
        return isScoreOf(requester, body.mid(own.size()), before, after);
    static const QString other = RoomTexts::otherScoreInfix();
    const qsizetype at = body.lastIndexOf(other);
    if (at >= 0) {
        const QString target = body.left(at);
        // The named nick is the word after the command: any character but a blank.
        if (!target.contains(QLatin1Char(' ')) && LetterCase::isUpper(target) &&
            isScoreOf(target, body.mid(at + other.size()), before, after))
            return true;
    }
    return isTopList(body, before, after);
}

bool BotTextMatcher::isScoreOf(const QString& nick, const QString& shown, const Scores& before,
                               const Scores& after) const {
    if (shown == RoomTexts::zero())
        return !before.contains(nick) || !after.contains(nick);
    if (!isDigits(shown))
        return false;
    const qint64 points = shown.toLongLong();
    return before.value(nick, -1) == points || after.value(nick, -1) == points;
}

bool BotTextMatcher::isTopList(const QString& body, const Scores& before, const Scores& after) const {
    static const QString lineEnd = QStringLiteral("\r\n");
    if (!body.startsWith(lineEnd) || !body.endsWith(lineEnd) || body.size() < 4)
        return false;
    const QStringList lines = body.mid(2, body.size() - 4).split(lineEnd);
    if (lines.size() > 10)
        return false;
    qint64 previous = std::numeric_limits<qint64>::max();
    for (const QString& line : lines) {
        const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
        if (blank < 0 || !isDigits(line.mid(blank + 1)))
            return false;
        const qint64 points = line.mid(blank + 1).toLongLong();
        if (points > previous || !isScoreOf(line.left(blank), line.mid(blank + 1), before, after))
            return false;
        previous = points;
    }
    return true;
}

} // namespace palvuro
