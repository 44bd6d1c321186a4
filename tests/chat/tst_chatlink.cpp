#include "chat/ChatLink.h"
#include "chat/TimerSwitch.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualEventPump.h"

#include <QtTest>

#include <memory>

using namespace palvuro;

class TestChatLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void getNick_data();
    void getNick();
    void connectFindsRoomAndCountsOldTextAsRead();
    void reconnectReplacesEveryHandle();
    void roomSearch_data();
    void roomSearch();
    void sendSpacing_data();
    void sendSpacing();
};

void TestChatLink::getNick_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("nick");
    QTest::newRow("command") << "ANNA  : !TOP "
                             << "ANNA";
    QTest::newRow("colon in message") << "BOB  : A:B "
                                      << "BOB";
    QTest::newRow("no colon") << "NO COLON HERE"
                              << "";
    QTest::newRow("colon second") << "A: X"
                                  << "";
    QTest::newRow("colon third") << "AB: X"
                                 << "";
    QTest::newRow("one-char nick") << "A  : X "
                                   << "A";
    QTest::newRow("private line") << "/MSG BOB  : HI "
                                  << "";
    QTest::newRow("private inside nick") << "X/MSG Y  : HI "
                                         << "";
    QTest::newRow("lower-case msg passes") << "/msg BOB  : HI "
                                           << "/msg BOB";
    QTest::newRow("empty") << ""
                           << "";
}

void TestChatLink::getNick() {
    QFETCH(QString, text);
    QFETCH(QString, nick);
    QCOMPARE(ChatLink::getNick(text), nick);
}

void TestChatLink::connectFindsRoomAndCountsOldTextAsRead() {
    FakeDesktop desk;
    desk.say("ANNA", "said before the bot came");
    EngineState state;
    ManualEventPump pump;
    FlagTimerSwitch getText;
    ChatLink link(state, desk.api(), pump, getText);

    QVERIFY(link.findChatMainWindow());
    QVERIFY(link.locateChatRoom());
    QCOMPARE(state.chatContainer, desk.room().roomWindow());
    QCOMPARE(state.chatTextWindow, desk.room().textWindow());
    QCOMPARE(state.chatInputBox, desk.room().inputBox());
    QCOMPARE(state.chatSendButton, desk.room().sendButton());

    link.startReading("  TriviaBot  ");
    QVERIFY(getText.isEnabled());
    QCOMPARE(state.botNick, QString("TRIVIABOT"));
    QVERIFY(!desk.room().noticesOn()); // "/notifyoff" was said
    QCOMPARE(state.lastLineIndex, desk.room().text().lineCount() - 2);
}

void TestChatLink::reconnectReplacesEveryHandle() {
    WindowRegistry registry;
    LocalWindowApi api(registry);
    EngineState state;
    ManualEventPump pump;
    FlagTimerSwitch getText;
    ChatLink link(state, api, pump, getText);

    auto first = std::make_unique<ChatRoom>(registry, "BOT");
    QVERIFY(link.findChatMainWindow() && link.locateChatRoom());
    first.reset(); // the client was closed and started again
    ChatRoom second(registry, "BOT");
    QVERIFY(link.findChatMainWindow() && link.locateChatRoom());
    QCOMPARE(state.chatContainer, second.roomWindow());
    QCOMPARE(state.chatTextWindow, second.textWindow());
    QCOMPARE(state.chatInputBox, second.inputBox());
    QCOMPARE(state.chatSendButton, second.sendButton());
}

void TestChatLink::roomSearch_data() {
    QTest::addColumn<QString>("roomClass");
    QTest::addColumn<int>("roomChildren");
    QTest::addColumn<bool>("found");
    QTest::newRow("longer class, same first nine") << "AfxWnd70uExtra" << 6 << true;
    QTest::newRow("no room window") << "Static" << 6 << false;
    QTest::newRow("too few windows for a send button") << "AfxWnd70u" << 5 << false;
}

void TestChatLink::roomSearch() {
    QFETCH(QString, roomClass);
    QFETCH(int, roomChildren);
    QFETCH(bool, found);
    WindowRegistry registry;
    LocalWindowApi api(registry);
    const Hwnd main = registry.create(0, "Main", "palvuro 2.0"); // the title's case is ignored
    registry.create(main, "Edit");                               // not the room's input box
    const Hwnd room = registry.create(main, roomClass.toStdString());
    const char* classes[] = {"RichEdit20W", "Edit", "ListBox", "Static", "Button", "Button"};
    Hwnd sixth = 0;
    for (int i = 0; i < roomChildren; ++i)
        sixth = registry.create(room, classes[i]);

    EngineState state;
    ManualEventPump pump;
    FlagTimerSwitch getText;
    ChatLink link(state, api, pump, getText);
    QVERIFY(link.findChatMainWindow());
    QCOMPARE(link.locateChatRoom(), found);
    if (found)
        QCOMPARE(state.chatSendButton, sixth);
}

void TestChatLink::sendSpacing_data() {
    QTest::addColumn<quint32>("startTick");
    QTest::addColumn<quint32>("late"); // a send ending at tick 0 is marked 1
    QTest::newRow("ordinary") << quint32(1000) << quint32(0);
    QTest::newRow("across the wrap") << quint32(0xFFFFFFFFu - 500) << quint32(0);
    QTest::newRow("a send ending exactly at 0") << quint32(0xFFFFFFFFu - 1099) << quint32(1);
}

void TestChatLink::sendSpacing() {
    QFETCH(quint32, startTick);
    QFETCH(quint32, late);
    FakeDesktop desk;
    EngineState state;
    ManualEventPump pump(startTick);
    FlagTimerSwitch getText;
    ChatLink link(state, desk.api(), pump, getText);
    QVERIFY(link.findChatMainWindow() && link.locateChatRoom());

    QList<quint32> said;
    QObject::connect(&desk.room(), &ChatRoom::roomLine, [&] { said.append(pump.tickCount()); });
    link.sendChat("first\r\nline two"); // the first send is not delayed
    pump.advance(300);
    link.sendChat("second");
    link.sendChat("third");
    pump.advance(5000);
    link.sendChat("fourth"); // long after: no wait

    QCOMPARE(desk.roomLines().first(), QString("TriviaBot: first\r\nline two"));
    QCOMPARE(said.size(), 4);
    QCOMPARE(said[0], startTick);
    QCOMPARE(quint32(said[1] - said[0]), quint32(1100));
    QCOMPARE(quint32(said[2] - said[1]), quint32(1100) + late);
    QCOMPARE(quint32(said[3] - said[2]), quint32(5000));
    QVERIFY(state.lastSendTick != 0);
    QCOMPARE(pump.waitedMs(), quint64(800 + 1100 + late));
}

QTEST_GUILESS_MAIN(TestChatLink)
#include "tst_chatlink.moc"
