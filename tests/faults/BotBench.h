#pragma once

#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "tests/support/BotDriver.h"

#include <QStringList>

namespace palvuro {

// The bot on a program folder the test chose.
struct BotBench : BotDriver {
    // A program folder with HISTORY (one pair, as the editor stores it: "CAPITAL OF FRANCE?" / "PARIS"), ART
    // and EMPTY, ANNA (4 points) and BOB (12) in Psystem, and Anna as the one authorized user.
    static bool prepareFolder(const QString& folder) {
        if (!UsersList(folder).save({QStringLiteral("Anna")}))
            return false;
        TriviaDatabase db(folder);
        if (db.open() != DbStatus::Ok)
            return false;
        for (const char* name : {"History", "Art", "Empty"})
            db.createCategory(QString::fromLatin1(name));
        db.addPair(QStringLiteral("HISTORY"), QStringLiteral("CAPITAL OF FRANCE?"), QStringLiteral("PARIS"));
        db.addPair(QStringLiteral("ART"), QStringLiteral("Painter of the Mona Lisa?"),
                   QStringLiteral("da Vinci"));
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
    // The room lines and private messages the bot said, in order, private ones as "/msg TO TEXT".
    QStringList botLines() const {
        QStringList lines;
        for (const QString& line : desk.roomLines()) {
            if (line.startsWith(QLatin1String(Nick) + QStringLiteral(": ")))
                lines << line.mid(int(qstrlen(Nick)) + 2);
        }
        for (const FakeDesktop::Private& p : desk.privateMessages())
            lines << QStringLiteral("/msg ") + p.to + QLatin1Char(' ') + p.text;
        return lines;
    }
};

} // namespace palvuro
