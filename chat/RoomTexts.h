#pragma once

#include <QString>

namespace palvuro {

// The fixed texts the bot says in the room, in one place for the bot and for the checks that
// recognise its lines.
class RoomTexts {
public:
    static QString notifyOff();
    static QString triviaEnded();
    static QString startedByPrefix(); // + nick + "]"
    static QString endedByPrefix();   // + nick + "]"
    static QString notStarted();
    static QString noQuestions();
    static QString unauthorized();
    static QString noAuthorizedUsers();
    static QString correctTail();  // "(*)" + nick + this + score + " ]"
    static QString notSavedTail(); // "(*)" + nick + this
    static QString nextQuestionNotice(int pauseSecs);
    static QString timesUpNotAnswered();
    static QString timesUpAnswerWas(); // + the answer
    static QString hintPrefix();
    static QString categoriesHeader();
    static QString help();
    static QString noScoresYet();
    static QString ownScorePrefix();  // + points, or zero()
    static QString otherScoreInfix(); // nick + this + points, or zero()
    static QString zero();
    static QString badCommand();
};

} // namespace palvuro
