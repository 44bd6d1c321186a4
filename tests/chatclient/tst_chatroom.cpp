#include "chatclient/ChatRoom.h"
#include "platform/LocalWindowApi.h"
#include "platform/WindowRegistry.h"

#include <QSignalSpy>
#include <QtTest>

#include <array>

using namespace palvuro;

class TestChatRoom : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void windowsAsTheBotFindsThem();
    void getLineWithinCapacity_data();
    void getLineWithinCapacity();
    void clickSaysTheInputOnceWithItsLineBreaks();
    void buttonUpWithoutDownIsNoClick();
    void privateMessage();
    void notifyOffSilencesJoinAndLeave();

private:
    // EM_GETLINE as an ANSI caller makes it: the capacity in the buffer's first two bytes.
    QByteArray getLine(std::int32_t line, int capacity, LResult* count);
    void click();
    // The rows of the text window read back through the line messages, marks dropped.
    QStringList windowRows();

    WindowRegistry* registry_ = nullptr;
    LocalWindowApi* api_ = nullptr;
    ChatRoom* room_ = nullptr;
};

void TestChatRoom::init() {
    registry_ = new WindowRegistry();
    api_ = new LocalWindowApi(*registry_);
    room_ = new ChatRoom(*registry_, QStringLiteral("TriviaBot"), 20);
}

void TestChatRoom::cleanup() {
    delete room_;
    delete api_;
    delete registry_;
}

QByteArray TestChatRoom::getLine(std::int32_t line, int capacity, LResult* count) {
    QByteArray buffer(std::max(capacity, 2) + 4, '#');
    buffer[0] = static_cast<char>(capacity & 0xFF);
    buffer[1] = static_cast<char>(capacity >> 8);
    *count = api_->sendMessage(room_->textWindow(), wm::GetLine, static_cast<WParam>(line),
                               reinterpret_cast<LParam>(buffer.data()));
    return buffer;
}

void TestChatRoom::click() {
    api_->postMessage(room_->sendButton(), wm::LButtonDown, 0, 0);
    api_->postMessage(room_->sendButton(), wm::LButtonUp, 0, 0);
    QCoreApplication::processEvents();
}

QStringList TestChatRoom::windowRows() {
    QStringList rows;
    const Hwnd text = room_->textWindow();
    const auto count = api_->sendMessage(text, wm::GetLineCount, 0, 0);
    for (LResult line = 0; line < count; ++line) {
        const auto start = api_->sendMessage(text, wm::LineIndex, static_cast<WParam>(line), 0);
        const auto length = api_->sendMessage(text, wm::LineLength, static_cast<WParam>(start), 0);
        LResult copied = 0;
        const QByteArray buffer = getLine(static_cast<std::int32_t>(line), static_cast<int>(length), &copied);
        rows << QString::fromLatin1(buffer.left(static_cast<int>(copied)));
    }
    return rows;
}

void TestChatRoom::windowsAsTheBotFindsThem() {
    const Hwnd main = api_->findWindow(nullptr, "palvuro 2.0");
    QCOMPARE(main, room_->mainWindow());

    Hwnd container = 0;
    api_->enumChildWindows(
        main,
        [&](Hwnd hwnd, LParam) {
            std::array<char, 10> name{};
            api_->getClassName(hwnd, name.data(), 10);
            if (std::string(name.data()) != "AfxWnd70u")
                return 1;
            container = hwnd;
            return 0;
        },
        0);
    QCOMPARE(container, room_->roomWindow());
    QCOMPARE(api_->findWindowEx(container, 0, "RichEdit20W", nullptr), room_->textWindow());
    QCOMPARE(api_->findWindowEx(container, 0, "Edit", nullptr), room_->inputBox());

    int seen = 0;
    Hwnd sixth = 0;
    api_->enumChildWindows(
        container,
        [&](Hwnd hwnd, LParam) {
            if (++seen != 6)
                return 1;
            sixth = hwnd;
            return 0;
        },
        0);
    QCOMPARE(sixth, room_->sendButton());
}

void TestChatRoom::getLineWithinCapacity_data() {
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QByteArray>("expected"); // the bytes written, NUL included
    // Row 0 is "ANNA  : caf\xE9 \x80 ?" (the euro sign crosses as 0x80, the snowman as "?").
    QTest::newRow("no capacity") << 0 << 0 << QByteArray();
    QTest::newRow("cut short, no room for NUL") << 0 << 4 << QByteArray("ANNA");
    QTest::newRow("the row's length: text only") << 0 << 17 << QByteArray("ANNA  : caf\xE9 \x80 ? ");
    QTest::newRow("one more: the mark, no NUL") << 0 << 18 << QByteArray("ANNA  : caf\xE9 \x80 ? \r");
    QTest::newRow("room for the NUL") << 0 << 40 << QByteArray("ANNA  : caf\xE9 \x80 ? \r\0", 19);
    QTest::newRow("final empty row") << 1 << 10 << QByteArray("\r\0", 2);
    QTest::newRow("past the end") << 2 << 10 << QByteArray();
}

void TestChatRoom::getLineWithinCapacity() {
    QFETCH(int, line);
    QFETCH(int, capacity);
    QFETCH(QByteArray, expected);
    room_->text().setWrapColumns(0);
    room_->say(QStringLiteral("ANNA"), QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xE2\x98\x83"));

    LResult count = -1;
    const QByteArray buffer = getLine(line, capacity, &count);
    const bool nulWritten = expected.endsWith('\0');
    QCOMPARE(count, static_cast<LResult>(expected.size() - (nulWritten ? 1 : 0)));
    if (!expected.isEmpty())
        QCOMPARE(buffer.left(expected.size()), expected);
    // Nothing beyond what was reported (and its NUL) is touched.
    QCOMPARE(buffer.at(std::max<qsizetype>(expected.size(), 2)), '#');
}

void TestChatRoom::clickSaysTheInputOnceWithItsLineBreaks() {
    QSignalSpy said(room_, &ChatRoom::roomLine);
    const QByteArray text = "(*)ANNA (*) Is Correct, Your Score Is [ 1 ]\r\n5 Seconds Until Next Question.";
    QCOMPARE(api_->sendMessage(room_->inputBox(), wm::SetText, static_cast<WParam>(text.size()),
                               reinterpret_cast<LParam>(text.constData())),
             LResult(1));
    QCOMPARE(room_->inputText(), QString::fromLatin1(text));
    click();

    QCOMPARE(said.count(), 1);
    QCOMPARE(said.at(0).at(0).toString(), QStringLiteral("TriviaBot"));
    QCOMPARE(said.at(0).at(1).toString(), QString::fromLatin1(text));
    QCOMPARE(room_->inputText(), QString());
    // Wrapped at 20 columns; the message's own CR LF starts a new paragraph.
    QCOMPARE(windowRows(), (QStringList{"TriviaBot  : (*)ANNA", " (*) Is Correct, You", "r Score Is [ 1 ]",
                                        "5 Seconds Until Next", " Question. ", ""}));
    click(); // the box is empty now: nothing more is said
    QCOMPARE(said.count(), 1);
}

void TestChatRoom::buttonUpWithoutDownIsNoClick() {
    room_->setInputText(QStringLiteral("hello"));
    api_->postMessage(room_->sendButton(), wm::LButtonUp, 0, 0);
    QCoreApplication::processEvents();
    QCOMPARE(room_->text().lineCount(), 1);
    QCOMPARE(room_->inputText(), QStringLiteral("hello"));
}

void TestChatRoom::privateMessage() {
    QSignalSpy delivered(room_, &ChatRoom::privateMessage);
    QSignalSpy said(room_, &ChatRoom::roomLine);
    room_->text().setWrapColumns(0);
    room_->say(QStringLiteral("TriviaBot"), QStringLiteral("/msg ANNA <b>Your Score: 3</b>"));

    QCOMPARE(said.count(), 0);
    QCOMPARE(delivered.count(), 1);
    QCOMPARE(delivered.at(0), (QVariantList{"TriviaBot", "ANNA", "<b>Your Score: 3</b>"}));
    const QString line = room_->text().lineWithMark(0);
    QCOMPARE(line, QStringLiteral("/msg ANNA  : <b>Your Score: 3</b> \r"));
    // The bot's nick rule: what stands before the first colon holds "/MSG ".
    QVERIFY(line.left(line.indexOf(QLatin1Char(':'))).toUpper().contains(QLatin1String("/MSG ")));

    room_->say(QStringLiteral("ANNA"), QStringLiteral("/msg"));
    QCOMPARE(delivered.count(), 1); // without a nick it is an ordinary line
    QCOMPARE(said.count(), 1);
}

void TestChatRoom::notifyOffSilencesJoinAndLeave() {
    QSignalSpy notices(room_, &ChatRoom::notice);
    room_->join(QStringLiteral("ANNA"));
    QCOMPARE(notices.count(), 1);
    const std::int32_t rows = room_->text().lineCount();
    QVERIFY(rows > 1);

    room_->setInputText(QStringLiteral("/notifyoff"));
    click();
    room_->join(QStringLiteral("BOB"));
    room_->leave(QStringLiteral("ANNA"));
    QCOMPARE(notices.count(), 1);
    QCOMPARE(room_->text().lineCount(), rows); // the command itself is not shown either
    QCOMPARE(room_->members(), (QStringList{"TriviaBot", "BOB"}));
}

QTEST_GUILESS_MAIN(TestChatRoom)
#include "tst_chatroom.moc"
