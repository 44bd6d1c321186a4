#include "chatclient/ChatRoom.h"
#include "chatclient/ChatWindow.h"
#include "platform/WindowRegistry.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>

using namespace palvuro;

class TestChatWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsTheRoomAndSpeaksAsThePickedNick();
    void viewKeepsTheNewestLines();
};

void TestChatWindow::showsTheRoomAndSpeaksAsThePickedNick() {
    WindowRegistry registry;
    ChatRoom room(registry, QStringLiteral("Guest"));
    room.say(QStringLiteral("ANNA"), QStringLiteral("before the window"));
    ChatWindow window(room);
    QCOMPARE(window.windowTitle(), QStringLiteral("Palvuro 2.0"));
    auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("roomText"));
    auto* input = window.findChild<QLineEdit*>(QStringLiteral("txtInput"));
    auto* nick = window.findChild<QComboBox*>(QStringLiteral("comboNick"));
    auto* send = window.findChild<QPushButton*>(QStringLiteral("cmdSend"));
    QVERIFY(view && input && nick && send);

    // What the bot puts into the input box shows in the input line.
    room.setInputText(QStringLiteral("from the bot"));
    QCOMPARE(input->text(), QStringLiteral("from the bot"));

    QSignalSpy said(&room, &ChatRoom::roomLine);
    room.join(QStringLiteral("BOB"));
    nick->setCurrentText(QStringLiteral("BOB"));
    input->clear();
    QTest::keyClicks(input, QStringLiteral("hi all"));
    QTest::mouseClick(send, Qt::LeftButton);
    QCOMPARE(said.count(), 1);
    QCOMPARE(said.at(0), (QVariantList{"BOB", "hi all"}));
    QCOMPARE(room.inputText(), QString());

    room.say(QStringLiteral("ANNA"), QStringLiteral("two\r\nlines"));
    window.flushPending();
    QCOMPARE(view->toPlainText(), QStringLiteral("ANNA  : before the window \nBOB has joined the room\n"
                                                 "BOB  : hi all \nANNA  : two\nlines "));
}

void TestChatWindow::viewKeepsTheNewestLines() {
    WindowRegistry registry;
    ChatRoom room(registry, QStringLiteral("Guest"), 0);
    ChatWindow window(room);
    const int lines = ChatWindow::kScrollbackLines + 10;
    for (int i = 0; i < lines; ++i)
        room.say(QStringLiteral("ANNA"), QString::number(i));
    window.flushPending();
    auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("roomText"));
    QCOMPARE(view->blockCount(), ChatWindow::kScrollbackLines);
    QCOMPARE(view->document()->firstBlock().text(), QStringLiteral("ANNA  : 10 "));
    QCOMPARE(room.text().lineCount(), lines + 1); // the bot's text window keeps them all
}

QTEST_MAIN(TestChatWindow)
#include "tst_chatwindow.moc"
