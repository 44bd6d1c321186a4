#include "chat/RoomTexts.h"

namespace palvuro {

namespace {

const QString LineEnd = QStringLiteral("\r\n");

QString nextQuestionNotice(int pauseSecs) {
    return LineEnd + QString::number(pauseSecs) + QStringLiteral(" Seconds Until Next Question.");
}

QString scoreOrZero(std::optional<qint64> points) {
    return points ? QString::number(*points) : QStringLiteral("Zero");
}

} // namespace

QString RoomTexts::notifyOff() {
    return QStringLiteral("/notifyoff");
}
QString RoomTexts::triviaEnded() {
    return QStringLiteral("[Trivia Ended]");
}
QString RoomTexts::startedBy(const QString& nick) {
    return QStringLiteral("[Trivia Bot Started By ") + nick + QLatin1Char(']');
}
QString RoomTexts::endedBy(const QString& nick) {
    return QStringLiteral("[Trivia Ended By ") + nick + QLatin1Char(']');
}
QString RoomTexts::notStarted() {
    return QStringLiteral("Trivia Not Started, Category Wasn't Specified Correctly.");
}
QString RoomTexts::noQuestions() {
    return QStringLiteral("This Category Contains No Questions, Please Select Another");
}
QString RoomTexts::unauthorized() {
    return QStringLiteral("Unauthorized User!");
}
QString RoomTexts::noAuthorizedUsers() {
    return QStringLiteral("No Authorized Users Assigned");
}
QString RoomTexts::correctAnswer(const QString& nick, qint64 score, int pauseSecs) {
    return QStringLiteral("(*)") + nick + correctTail() + QString::number(score) + QStringLiteral(" ]") +
           nextQuestionNotice(pauseSecs);
}
QString RoomTexts::correctNotSaved(const QString& nick, int pauseSecs) {
    return QStringLiteral("(*)") + nick +
           QStringLiteral(" (*) Is Correct, But The Score Could Not Be Saved") +
           nextQuestionNotice(pauseSecs);
}
QString RoomTexts::correctTail() {
    return QStringLiteral(" (*) Is Correct, Your Score Is [ ");
}
QString RoomTexts::timesUp(int pauseSecs) {
    return QStringLiteral("Times Up! Not Answered.") + nextQuestionNotice(pauseSecs);
}
QString RoomTexts::timesUpAnswerWas(const QString& answer, int pauseSecs) {
    return QStringLiteral("Times Up! Answer Was ") + answer + nextQuestionNotice(pauseSecs);
}
QString RoomTexts::hint(const QString& hint) {
    return QStringLiteral("HINT: ") + hint;
}
QString RoomTexts::categoryList(const QStringList& names) {
    QString text = QStringLiteral("CURRENT CATEGORIES ARE:") + LineEnd;
    for (const QString& name : names)
        text += QLatin1Char('[') + name + QLatin1Char(']') + LineEnd;
    return text;
}
QString RoomTexts::privateReply(const QString& nick, const QString& text) {
    return QStringLiteral("/msg ") + nick + QStringLiteral(" <b>") + text + QStringLiteral("</b>");
}
QString RoomTexts::help() {
    return QStringLiteral("COMMANDS ARE;\r\n!Start Category\r\n!Categories\r\n!Top\r\n!Q\r\n!MyScore\r\n"
                          "!GetUsersScore UsersNickName\r\n!Quit");
}
QString RoomTexts::noScoresYet() {
    return QStringLiteral("Thier Are No Scores Yet");
}
QString RoomTexts::topScores(const QList<TriviaDatabase::Score>& scores) {
    QString list = LineEnd;
    for (const TriviaDatabase::Score& score : scores)
        list += score.nick + QLatin1Char(' ') + QString::number(score.points) + LineEnd;
    return list;
}
QString RoomTexts::ownScore(std::optional<qint64> points) {
    return QStringLiteral("Your Score Is ") + scoreOrZero(points);
}
QString RoomTexts::otherScore(const QString& nick, std::optional<qint64> points) {
    return nick + otherScoreInfix() + scoreOrZero(points);
}
QString RoomTexts::otherScoreInfix() {
    return QStringLiteral("'s Score Is ");
}
QString RoomTexts::badCommand() {
    return QStringLiteral("Command Wasn't Specified Correctly.");
}

} // namespace palvuro
