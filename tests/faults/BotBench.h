#pragma once

#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "tests/support/BotDriver.h"

namespace palvuro {

// The bot on a program folder the test chose.
struct BotBench : BotDriver {
    // HISTORY (one pair, as the editor stores it: "CAPITAL OF FRANCE?" / "PARIS"), ART and EMPTY,
    // ANNA (4 points) and BOB (12) in Psystem, and Anna as the one authorized user.
    static bool prepareFolder(const QString& folder) {
        TriviaDatabase db(folder);
        if (!UsersList(folder).save({QStringLiteral("Anna")}) || db.open() != DbStatus::Ok)
            return false;
        for (const char* name : {"History", "Art", "Empty"})
            db.createCategory(QString::fromLatin1(name));
        db.addPair(QStringLiteral("HISTORY"), QStringLiteral("CAPITAL OF FRANCE?"), QStringLiteral("PARIS"));
        qint64 score = 0;
        for (int i = 0; i < 16; ++i)
            db.scoreCorrectAnswer(i < 4 ? QStringLiteral("ANNA") : QStringLiteral("BOB"), &score);
        return score == 12;
    }

    explicit BotBench(const QString& programFolder) : BotDriver(programFolder) {
        state.giveAnswerSecs = 60;
        state.nextQuestionSecs = 5;
        tick();
        desk.clearLog();
    }

    // Starts HISTORY as Anna and waits for the first question.
    bool startGame() {
        say(QStringLiteral("Anna"), QStringLiteral("!START HISTORY"));
        pump.advance(2100);
        tick(2);
        return state.questionActive;
    }
    // The room lines, then the private ones as "/msg TO TEXT".
    QStringList allLines() const {
        QStringList lines = botLines();
        for (const QString& text : privateTexts())
            lines << QStringLiteral("/msg ") + text;
        return lines;
    }
};

} // namespace palvuro
