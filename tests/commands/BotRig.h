#pragma once

#include "chat/ChatLink.h"
#include "chat/TimerSwitch.h"
#include "commands/TriviaBot.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QTemporaryDir>

namespace palvuro {

// The whole bot on the fake desktop, in a program folder with the categories ART, EMPTY and
// HISTORY (one pair) and ANNA as the one authorized user. Reader ticks are driven by hand, 10 ms
// apart on the injected clock.
struct BotRig {
    BotRig() {
        UsersList(dir.path()).save({"Anna"});
        TriviaDatabase db(dir.path());
        db.open();
        for (const char* name : {"History", "Art", "Empty"})
            db.createCategory(name);
        db.addPair("HISTORY", "  Capital of France?", " Paris");
        state.giveAnswerSecs = state.nextQuestionSecs = 40;
        bot.link().findChatMainWindow();
        bot.link().locateChatRoom();
        bot.link().startReading("TriviaBot");
        QObject::connect(&desk.room(), &ChatRoom::roomLine, [this](const QString& from) {
            if (from == "TriviaBot")
                saidAt.append(pump.tickCount());
        });
        desk.clearLog();
    }
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            pump.advance(10);
            bot.getTextTimer();
        }
    }
    // A chatter's line and the tick that handles it. The tick before reads the bot's own last
    // line, or the two would be judged as one text.
    void say(const QString& nick, const QString& text) {
        tick();
        desk.say(nick, text);
        tick();
    }
    QStringList botLines() const { return desk.linesBy("TriviaBot"); }
    QStringList privateTexts() const {
        QStringList texts;
        for (const FakeDesktop::Private& p : desk.privateMessages())
            texts << p.to + " " + p.text;
        return texts;
    }

    QTemporaryDir dir;
    FakeDesktop desk;
    EngineState state;
    ManualEventPump pump;
    FlagTimerSwitch getText;
    FlagTimerSwitch pause;
    QStringList cheats;
    QList<std::uint32_t> saidAt; // the tick of each bot line
    TriviaBot bot{
        state, desk.api(), pump, getText, pause, dir.path(), {[this](const QString& a) { cheats << a; }, {}}};
};

} // namespace palvuro
