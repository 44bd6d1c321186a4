// The desktop bus as the bot sees it: a BusWindowApi in this thread, the chat client's windows
// published by a BusServer on another thread.
#include "platform/BusWindowApi.h"
#include "tests/platform/BusServerThread.h"
#include "tests/platform/FakeChatWindows.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace palvuro;

class TstBus : public QObject {
    Q_OBJECT
private:
    QTemporaryDir runtime_;
    std::unique_ptr<BusServerThread> server_;
    FakeChatWindows windows_; // lives on the server's thread
    Hwnd accented_ = 0;
    BusWindowApi api_;

    std::vector<Hwnd> walk(Hwnd parent, int stopAfter) {
        std::vector<Hwnd> seen;
        api_.enumChildWindows(
            parent,
            [&](Hwnd hwnd, LParam) {
                seen.push_back(hwnd);
                return int(seen.size()) == stopAfter ? 0 : 1;
            },
            0);
        return seen;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        server_ = std::make_unique<BusServerThread>();
        QVERIFY(server_->start());
        server_->run([&] {
            windows_.build(server_->registry());
            windows_.paragraphs = {"ANNA  : Hello world ", "BOB  : hi "};
            accented_ = server_->registry().create(0, "Other", "Caf\xe9 \x9a Room");
        });
    }

    void cleanupTestCase() { server_.reset(); }

    void findsWholeTitleIgnoringCase_data() {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<bool>("found");
        QTest::newRow("exact") << QByteArray("Palvuro 2.0") << true;
        QTest::newRow("lower case") << QByteArray("palvuro 2.0") << true;
        QTest::newRow("upper case") << QByteArray("PALVURO 2.0") << true;
        QTest::newRow("partial") << QByteArray("Palvuro") << false;
        QTest::newRow("trailing blank") << QByteArray("Palvuro 2.0 ") << false;
        QTest::newRow("longer") << QByteArray("Palvuro 2.0 beta") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        // Windows-1252 letters beyond ASCII change case too: é/É and š/Š (0x9a/0x8a).
        QTest::newRow("code page letters") << QByteArray("CAF\xc9 \x8a ROOM") << true;
    }
    void findsWholeTitleIgnoringCase() {
        QFETCH(QByteArray, title);
        QFETCH(bool, found);
        const Hwnd hwnd = api_.findWindow(nullptr, title.constData());
        QCOMPARE(hwnd != 0, found);
        if (found)
            QVERIFY(hwnd == windows_.main || hwnd == accented_);
    }

    void newestOfSeveralMatchesWins() {
        Hwnd newer = 0;
        server_->run([&] { newer = server_->registry().create(0, "PalvuroMain", "PALVURO 2.0"); });
        QCOMPARE(api_.findWindow(nullptr, "Palvuro 2.0"), newer);
        QCOMPARE(api_.findWindow("palvuromain", nullptr), newer);
        server_->run([&] { server_->registry().destroy(newer); });
        QCOMPARE(api_.findWindow(nullptr, "Palvuro 2.0"), windows_.main);
        const auto all = api_.topLevelWindows();
        QCOMPARE(all.size(), size_t(2));
        QCOMPARE(all.front(), std::make_pair(windows_.main, std::string("Palvuro 2.0")));
    }

    void enumeratesPreOrderUntilStopped_data() {
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("visited");
        QTest::newRow("whole walk") << 0 << 9;
        QTest::newRow("stop at first") << 1 << 1;
        QTest::newRow("stop at the room") << 4 << 4;
    }
    void enumeratesPreOrderUntilStopped() {
        QFETCH(int, stopAfter);
        QFETCH(int, visited);
        const std::vector<Hwnd> all = {windows_.toolbar, windows_.toolbarButton, windows_.room,
                                       windows_.text,    windows_.input,         windows_.nickList,
                                       windows_.topic,   windows_.secondButton,  windows_.send};
        const std::vector<Hwnd> expected(all.begin(), all.begin() + visited);
        QCOMPARE(walk(windows_.main, stopAfter), expected);
    }

    void enumerationSkipsWindowsDestroyedBeforeTheirTurn() {
        Hwnd parent = 0, first = 0, second = 0, third = 0;
        server_->run([&] {
            WindowRegistry& registry = server_->registry();
            parent = registry.create(0, "Scratch");
            first = registry.create(parent, "A");
            second = registry.create(parent, "B");
            third = registry.create(parent, "C");
        });
        std::vector<Hwnd> seen;
        QVERIFY(api_.enumChildWindows(
            parent,
            [&](Hwnd hwnd, LParam) {
                seen.push_back(hwnd);
                if (hwnd == first)
                    server_->run([&] { server_->registry().destroy(second); });
                return 1;
            },
            0));
        QCOMPARE(seen, (std::vector<Hwnd>{first, third}));
        server_->run([&] { server_->registry().destroy(parent); });
        QVERIFY(!api_.enumChildWindows(
            parent, [](Hwnd, LParam) { return 1; }, 0));
        QVERIFY(!api_.enumChildWindows(
            0, [](Hwnd, LParam) { return 1; }, 0));
    }

    void cutsClassNames_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<QByteArray>("expected"); // "#" = the buffer left untouched
        QTest::addColumn<int>("count");
        QTest::newRow("RichEdit20W cut to nine") << 0 << 10 << QByteArray("RichEdit2") << 9;
        QTest::newRow("AfxWnd70u fits") << 1 << 10 << QByteArray("AfxWnd70u") << 9;
        QTest::newRow("Edit") << 2 << 10 << QByteArray("Edit") << 4;
        QTest::newRow("room for the NUL only") << 0 << 1 << QByteArray("") << 0;
        QTest::newRow("no room") << 0 << 0 << QByteArray("#") << 0;
        QTest::newRow("negative") << 0 << -5 << QByteArray("#") << 0;
        QTest::newRow("unknown window") << 3 << 10 << QByteArray("#") << 0;
    }
    void cutsClassNames() {
        QFETCH(int, which);
        QFETCH(int, maxCount);
        QFETCH(QByteArray, expected);
        QFETCH(int, count);
        const Hwnd hwnds[] = {windows_.text, windows_.room, windows_.input, windows_.send + 500};
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        buffer[15] = '\0';
        QCOMPARE(api_.getClassName(hwnds[which], buffer, maxCount), count);
        QCOMPARE(QByteArray(buffer).left(expected == "#" ? 1 : 15), expected);
    }

    void findsDirectChildByClass_data() {
        QTest::addColumn<int>("parent");
        QTest::addColumn<int>("after");
        QTest::addColumn<QByteArray>("className");
        QTest::addColumn<int>("expected"); // index into the table below; -1: none
        QTest::newRow("text") << 0 << -1 << QByteArray("RichEdit20W") << 0;
        QTest::newRow("class case ignored") << 0 << -1 << QByteArray("richedit20w") << 0;
        QTest::newRow("input") << 0 << -1 << QByteArray("EDIT") << 1;
        QTest::newRow("first of two buttons") << 0 << -1 << QByteArray("Button") << 2;
        QTest::newRow("next after a child") << 0 << 2 << QByteArray("Button") << 3;
        QTest::newRow("grandchild not direct") << 1 << -1 << QByteArray("RichEdit20W") << -1;
        QTest::newRow("cut name no match") << 0 << -1 << QByteArray("RichEdit2") << -1;
    }
    void findsDirectChildByClass() {
        QFETCH(int, parent);
        QFETCH(int, after);
        QFETCH(QByteArray, className);
        QFETCH(int, expected);
        const Hwnd parents[] = {windows_.room, windows_.main};
        const Hwnd children[] = {windows_.text, windows_.input, windows_.secondButton, windows_.send};
        const Hwnd childAfter = after < 0 ? 0 : children[after];
        QCOMPARE(api_.findWindowEx(parents[parent], childAfter, className.constData(), nullptr),
                 expected < 0 ? Hwnd(0) : children[expected]);
    }

    void readsLinesThroughTheBus_data() {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("capacity smaller than the row") << 0 << 5 << QByteArray("ANNA ");
        QTest::newRow("capacity equal to the row") << 1 << 10 << QByteArray("BOB  : hi ");
        QTest::newRow("room for the mark") << 1 << 11 << QByteArray("BOB  : hi \r");
        QTest::newRow("final empty row") << 2 << 10 << QByteArray("\r");
        QTest::newRow("past the end") << 3 << 10 << QByteArray();
        QTest::newRow("capacity zero") << 0 << 0 << QByteArray();
    }
    void readsLinesThroughTheBus() {
        QFETCH(int, line);
        QFETCH(int, capacity);
        QFETCH(QByteArray, expected);
        QByteArray buffer(64, '#');
        buffer[0] = char(capacity & 0xff);
        buffer[1] = char(capacity >> 8);
        const LResult count =
            api_.sendMessage(windows_.text, wm::GetLine, WParam(line), LParam(buffer.data()));
        QCOMPARE(count, LResult(expected.size()));
        QCOMPARE(buffer.left(count), expected);
        // Nothing beyond the caller's capacity is touched; a NUL follows a copy only when there is room.
        const bool terminated = count > 0 && count < capacity;
        const int untouchedFrom = std::max(int(count) + (terminated ? 1 : 0), 2);
        QCOMPARE(buffer.mid(untouchedFrom), QByteArray(64 - untouchedFrom, '#'));
        if (terminated)
            QCOMPARE(buffer[qsizetype(count)], '\0');
    }

    void answersTheLineMessages() {
        QCOMPARE(api_.sendMessage(windows_.text, wm::GetLineCount, 0, 0), LResult(3));
        QCOMPARE(api_.sendMessage(windows_.text, wm::LineIndex, 1, 0), LResult(21));
        QCOMPARE(api_.sendMessage(windows_.text, wm::LineLength, 21, 0), LResult(10));
        QCOMPARE(api_.sendMessage(windows_.text, wm::GetLine, 0, 0), LResult(0));
        QCOMPARE(api_.sendMessage(0, wm::GetLineCount, 0, 0), LResult(0));
    }

    void setTextArrivesWhole_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("CR LF inside") << QByteArray("first line\r\nsecond line");
        QTest::newRow("code page bytes") << QByteArray("\x80\x9f\xa0\xff caf\xe9");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("one megabyte") << QByteArray(1 << 20, 'x').replace(1000, 2, "\r\n");
    }
    void setTextArrivesWhole() {
        QFETCH(QByteArray, text);
        QCOMPARE(api_.sendMessage(windows_.input, wm::SetText, WParam(text.size()), LParam(text.constData())),
                 LResult(1));
        std::string received;
        server_->run([&] { received = windows_.inputText; });
        QCOMPARE(QByteArray::fromStdString(received), text);
    }

    void postedClickArrivesInOrder() {
        server_->run([&] { windows_.sendButtonMessages.clear(); });
        QVERIFY(api_.postMessage(windows_.send, wm::LButtonDown, 0, 0));
        QVERIFY(api_.postMessage(windows_.send, wm::LButtonUp, 0, 0));
        // Pointers cannot be posted across processes.
        QVERIFY(!api_.postMessage(windows_.input, wm::SetText, 0, LParam("x")));
        const auto received = [&] {
            std::vector<std::uint32_t> messages;
            server_->run([&] { messages = windows_.sendButtonMessages; });
            return messages;
        };
        QTRY_COMPARE(received(), (std::vector<std::uint32_t>{wm::LButtonDown, wm::LButtonUp}));
    }
};

QTEST_GUILESS_MAIN(TstBus)
#include "tst_bus.moc"
