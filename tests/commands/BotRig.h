#pragma once

#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "tests/support/BotDriver.h"

#include <QTemporaryDir>

namespace palvuro {

struct RigFolder {
    QTemporaryDir dir;
};

// The bot in a program folder with the categories ART, EMPTY and HISTORY (one pair, stored with
// leading blanks) and ANNA as the one authorized user; each bot line's tick is kept.
struct BotRig : RigFolder, BotDriver {
    BotRig() : BotDriver(dir.path()) {
        UsersList(dir.path()).save({"Anna"});
        TriviaDatabase db(dir.path());
        db.open();
        for (const char* name : {"History", "Art", "Empty"})
            db.createCategory(name);
        db.addPair("HISTORY", "  Capital of France?", " Paris");
        state.giveAnswerSecs = state.nextQuestionSecs = 40;
        QObject::connect(&desk.room(), &ChatRoom::roomLine, [this](const QString& from) {
            if (from == Nick)
                saidAt.append(pump.tickCount());
        });
        desk.clearLog();
    }
    QList<std::uint32_t> saidAt;
};

} // namespace palvuro
