#include "chat/TickSchedule.h"
#include "tests/chat/LinkRig.h"
#include "tests/support/ManualEventPump.h"

#include <QtTest>

#include <optional>

using namespace palvuro;

class TestChatLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void connect() {
        WindowRegistry registry;
        LocalWindowApi api(registry);
        ManualEventPump pump;
        BotClocks clocks(pump, {}, {});
        TimerSwitch& getText = clocks.reader();
        ChatLink link(api, clocks);
        const Hwnd main = registry.create(0, "Main", "palvuro 2.0");  // the title's case is ignored
        QVERIFY(link.findChatMainWindow() && !link.locateChatRoom()); // no room window
        const Hwnd room = registry.create(main, "AfxWnd70u");
        for (const char* name : {"RichEdit20W", "Edit", "ListBox", "Static", "Button"})
            registry.create(room, name);
        QVERIFY(link.findChatMainWindow() && !link.locateChatRoom()); // no sixth window for a send button
        registry.destroy(main);

        std::optional<ChatRoom> client(std::in_place, registry, "BOT");
        client->say("ANNA", "said before the bot came");
        QVERIFY(link.findChatMainWindow() && link.locateChatRoom());
        std::int32_t lastRead = -99;
        link.setReadingStarted([&lastRead](std::int32_t line) { lastRead = line; });
        link.startReading("  TriviaBot  ");
        QVERIFY(getText.isEnabled() && !client->noticesOn()); // "/notifyoff" was said
        QCOMPARE(link.botNick(), QString("TRIVIABOT"));
        QCOMPARE(lastRead, client->text().lineCount() - 2); // what was said before counts as read

        // The client ends and the next one shows lines of its own. On the reconnect they count as
        // read before "/notifyoff" lets a reader tick run, so none of them is answered again.
        client.emplace(registry, "BOT");
        for (int i = 0; i < 5; ++i)
            client->say("ANNA", "!START ART");
        QList<std::pair<std::int32_t, bool>> starts; // the line, and whether notices were still on
        link.setReadingStarted([&](std::int32_t line) { starts.append({line, client->noticesOn()}); });
        QVERIFY(link.findChatMainWindow() && link.locateChatRoom());
        link.startReading("TriviaBot");
        QVERIFY(!starts.isEmpty());
        QCOMPARE(starts.first(), std::pair(client->text().lineCount() - 2, true));
    }

    void sendSpacing_data() {
        QTest::addColumn<quint32>("startTick");
        QTest::addColumn<quint32>("late"); // a send ending at tick 0 is marked 1
        QTest::newRow("across the wrap") << quint32(0xFFFFFFFFu - 500) << quint32(0);
        QTest::newRow("a send ending exactly at 0") << quint32(0xFFFFFFFFu - 1099) << quint32(1);
    }
    void sendSpacing() {
        QFETCH(quint32, startTick);
        QFETCH(quint32, late);
        LinkRig rig(80, startTick);
        QList<quint32> said;
        QObject::connect(&rig.desk.room(), &ChatRoom::roomLine, [&] { said.append(rig.pump.tickCount()); });
        rig.link.sendChat("first\r\nline two"); // the first send is not delayed
        rig.pump.advance(300);
        rig.link.sendChat("second");
        rig.link.sendChat("third");
        rig.pump.advance(5000);
        rig.link.sendChat("fourth"); // long after: no wait
        QCOMPARE(rig.botLines().first(), QString("first\r\nline two"));
        QCOMPARE(said, (QList<quint32>{startTick, startTick + 1100, startTick + 2200 + late,
                                       startTick + 7200 + late}));
    }

    // A timer whose ticks would change nothing sleeps until its wake or until any tick runs, and
    // then ticks on the phase it had; a wake that comes after the schedule is gone does nothing.
    void quietTimersSleepAndKeepTheirPhase() {
        ManualEventPump pump(1000);
        std::function<void()> wake;
        {
            TickSchedule schedule(pump);
            QList<std::uint32_t> ticks;
            TimerSwitch& reader = schedule.add(10, [&] { ticks.append(pump.tickCount()); });
            TimerSwitch& pause = schedule.add(1000, [] {});
            bool quiet = true;
            schedule.setQuietCheck(reader, [&](std::function<void()> w) {
                wake = std::move(w);
                return quiet;
            });
            reader.setEnabled(true);
            schedule.settle();
            QCOMPARE(schedule.msUntilNextDue(), TickSchedule::NoneDue);

            pump.advance(1234);
            wake();
            QCOMPARE(schedule.msUntilNextDue(), 6u);
            pump.advance(6);
            schedule.runDue();
            schedule.settle();
            pump.advance(25);
            reader.setEnabled(true); // enabled again, as a question asked does
            QCOMPARE(schedule.msUntilNextDue(), 5u);
            schedule.settle();
            pause.setEnabled(true);
            pump.advance(1000);
            schedule.runDue(); // the pause clock's tick wakes the reader too
            quiet = false;
            schedule.settle();
            QCOMPARE(schedule.msUntilNextDue(), 5u);
            pump.advance(5);
            schedule.runDue();
            QCOMPARE(ticks, (QList<std::uint32_t>{2240, 3270}));
        }
        wake();
    }
};

QTEST_GUILESS_MAIN(TestChatLink)
#include "tst_chatlink.moc"
