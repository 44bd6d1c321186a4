#include "chat/RoomTexts.h"

namespace palvuro {

QString RoomTexts::notifyOff() {
    return QStringLiteral("/notifyoff");
}
QString RoomTexts::triviaEnded() {
    return QStringLiteral("[Trivia Ended]");
}
QString RoomTexts::startedByPrefix() {
    return QStringLiteral("[Trivia Bot Started By ");
}
QString RoomTexts::endedByPrefix() {
    return QStringLiteral("[Trivia Ended By ");
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
QString RoomTexts::correctTail() {
    return QStringLiteral(" (*) Is Correct, Your Score Is [ ");
}
QString RoomTexts::notSavedTail() {
    return QStringLiteral(" (*) Is Correct, But The Score Could Not Be Saved");
}
QString RoomTexts::nextQuestionNotice(int pauseSecs) {
    return QStringLiteral("\r\n") + QString::number(pauseSecs) +
           QStringLiteral(" Seconds Until Next Question.");
}
QString RoomTexts::timesUpNotAnswered() {
    return QStringLiteral("Times Up! Not Answered.");
}
QString RoomTexts::timesUpAnswerWas() {
    return QStringLiteral("Times Up! Answer Was ");
}
QString RoomTexts::hintPrefix() {
    return QStringLiteral("HINT: ");
}
QString RoomTexts::categoriesHeader() {
    return QStringLiteral("CURRENT CATEGORIES ARE:\r\n");
}
QString RoomTexts::help() {
    return QStringLiteral("COMMANDS ARE;\r\n!Start Category\r\n!Categories\r\n!Top\r\n!Q\r\n!MyScore\r\n"
                          "!GetUsersScore UsersNickName\r\n!Quit");
}
QString RoomTexts::noScoresYet() {
    return QStringLiteral("Thier Are No Scores Yet");
}
QString RoomTexts::ownScorePrefix() {
    return QStringLiteral("Your Score Is ");
}
QString RoomTexts::otherScoreInfix() {
    return QStringLiteral("'s Score Is ");
}
QString RoomTexts::zero() {
    return QStringLiteral("Zero");
}
QString RoomTexts::badCommand() {
    return QStringLiteral("Command Wasn't Specified Correctly.");
}

} // namespace palvuro
