#pragma once

#include "data/TriviaDatabase.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace palvuro {

// The texts the bot says in the room, each written once, whole, for the bot and for the checks
// that recognise its lines.
class RoomTexts {
public:
    static QString notifyOff();
    static QString triviaEnded();
    static QString startedBy(const QString& nick);
    static QString endedBy(const QString& nick);
    static QString notStarted();
    static QString noQuestions();
    static QString unauthorized();
    static QString noAuthorizedUsers();
    // The line after a correct answer, with the pause before the next question.
    static QString correctAnswer(const QString& nick, qint64 score, int pauseSecs);
    static QString correctNotSaved(const QString& nick, int pauseSecs);
    static QString timesUp(int pauseSecs);
    static QString timesUpAnswerWas(const QString& answer, int pauseSecs);
    static QString hint(const QString& hint);
    static QString categoryList(const QStringList& names);
    // A line the chat client delivers to one nick alone, its text in bold.
    static QString privateReply(const QString& nick, const QString& text);
    static QString help();
    static QString noScoresYet();
    static QString topScores(const QList<TriviaDatabase::Score>& scores);
    // No points: never scored.
    static QString ownScore(std::optional<qint64> points);
    static QString otherScore(const QString& nick, std::optional<qint64> points);
    static QString badCommand();

    // What follows the nick in correctAnswer() up to the score: where a nick ends, for a check
    // reading such a line back.
    static QString correctTail();
    // What follows the nick in otherScore().
    static QString otherScoreInfix();
};

} // namespace palvuro
