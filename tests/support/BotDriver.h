#pragma once

#include "chat/BotClocks.h"
#include "chat/ChatLink.h"
#include "commands/TriviaBot.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "data/UsersList.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QStringList>

namespace palvuro {

// The whole bot connected to the fake desktop, on a program folder the caller prepared. Time is
// driven by hand on the injected clock (ManualEventPump), or is the real event loop's with the
// program's own tick driver (QtEventPump, after bot.clocks().driveFromEventLoop()). The cheat box
// and the fatal error boxes are recorded instead of shown.
template <class Pump> struct BasicBotDriver {
    static constexpr const char* Nick = "TriviaBot";

    // HISTORY (one pair, as the editor stores it), ART and EMPTY, Anna as the one authorized
    // user and, with `scores`, ANNA 4 and BOB 12 in Psystem.
    static bool prepareFolder(const QString& folder, bool scores = true) {
        TriviaDatabase db(folder);
        if (!UsersList(folder).save({"Anna"}) || db.open() != DbStatus::Ok)
            return false;
        for (const char* name : {"History", "Art", "Empty"})
            db.createCategory(name);
        db.addPair("HISTORY", "CAPITAL OF FRANCE?", "PARIS");
        qint64 score = 0;
        for (int i = 0; scores && i < 16; ++i)
            db.scoreCorrectAnswer(i < 4 ? "ANNA" : "BOB", &score);
        return score == (scores ? 12 : 0);
    }

    explicit BasicBotDriver(const TriviaStore& store)
        : bot(desk.api(), pump, store,
              {[this](const QString& answer) { cheats << answer; },
               [this](const QString& text, int) { fatalErrors << text; }}) {
        bot.link().findChatMainWindow();
        bot.link().locateChatRoom();
        bot.link().startReading(QString::fromLatin1(Nick));
        timings.setAnswerSecs(40);
        timings.setNextQuestionSecs(40);
        desk.clearLog();
        QObject::connect(&desk.room(), &ChatRoom::roomLine, [this](const QString& from, const QString& text) {
            if (from == Nick)
                said.append({pump.tickCount(), text});
        });
        QObject::connect(&desk.room(), &ChatRoom::privateMessage,
                         [this](const QString&, const QString& to, const QString& text) {
                             said.append({pump.tickCount(), "/msg " + to + ' ' + text});
                         });
    }

    // 10 ms on the injected clock each, running the timers that are due (the reader, and the
    // pause clock every 100th step while it runs).
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            pump.advance(10);
            bot.clocks().runDue();
        }
    }
    // A chatter's line and the tick that handles it. The tick before reads the bot's own last
    // line, or the two would be judged as one text.
    void say(const QString& nick, const QString& text) {
        tick();
        desk.say(nick, text);
        tick();
    }
    // Starts HISTORY as Anna and waits for the first question.
    bool startGame() {
        say("Anna", "!START HISTORY");
        pump.advance(2100);
        tick(2);
        return bot.session().questionOpen();
    }
    QStringList botLines() const { return desk.linesBy(QString::fromLatin1(Nick)); }
    // Every line the bot said, in the room and in private, in order.
    QStringList saidTexts() const {
        QStringList texts;
        for (const Said& each : said)
            texts << each.text;
        return texts;
    }

    struct Said {
        std::uint32_t tick;
        QString text; // "/msg TO text" when private
    };
    QList<Said> said;
    FakeDesktop desk{QString::fromLatin1(Nick)};
    Pump pump;
    QStringList cheats, fatalErrors;
    TriviaBot bot;
    GameTimings& timings = bot.timings();
    TimerSwitch& pause = bot.clocks().pause();
};

using BotDriver = BasicBotDriver<ManualEventPump>;

} // namespace palvuro
