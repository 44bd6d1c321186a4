// The desktop bus as the bot and palvuro-spy see it: a BusWindowApi in this thread, the chat client's
// room published by a BusServer on another. Also under stress: unsafe folders, left-over sockets,
// a server that stops answering, connections that send anything but well-formed frames.
#include "chatclient/ChatRoom.h"
#include "platform/BusFrame.h"
#include "platform/BusWindowApi.h"
#include "platform/DesktopBusFolder.h"
#include "platform/LineBuffer.h"
#include "tests/platform/BusServerThread.h"
#include "tests/support/ProgramRun.h"

#include <QLocalSocket>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace palvuro;

namespace {

QByteArray lengthOnly(std::uint32_t length, const QByteArray& rest = {}) {
    QByteArray frame;
    BusFrame::appendU32(frame, length);
    return frame + rest;
}

QByteArray request(BusFrame::Op op, const QByteArray& bytes = {}) {
    BusFrame::Request r;
    r.op = op;
    r.bytes = bytes;
    return BusFrame::encode(r);
}

// A socket file nobody listens on, as a process that died without cleaning up leaves it.
bool leaveSocketFile(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class TstBus : public QObject {
    Q_OBJECT
private:
    QTemporaryDir runtime_;
    std::unique_ptr<BusServerThread> server_;
    std::unique_ptr<ChatRoom> room_; // lives on the server's thread
    Hwnd main_ = 0, text_ = 0, input_ = 0, send_ = 0, accented_ = 0;
    BusWindowApi api_;

    LResult rows() {
        return server_->read([&] { return LResult(room_->text().lineCount()); });
    }
    QString roomText() {
        return server_->read([&] { return room_->text().plainText(); });
    }
    // Line 0's length: asked of the room every time, where the line messages' answers are kept.
    LResult firstLine(BusWindowApi& api) {
        QByteArray buffer(64, '#');
        LineBuffer::setCapacity(buffer.data(), int(buffer.size()));
        return api.sendMessage(text_, wm::GetLine, 0, LParam(buffer.data()));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        server_ = std::make_unique<BusServerThread>();
        QVERIFY(server_->start());
        server_->run([&] {
            room_ = std::make_unique<ChatRoom>(server_->registry(), "Guest", 0);
            room_->say("ANNA", QString::fromUtf8("café € ☃"));
            room_->say("BOB", "hi");
            main_ = room_->mainWindow(), text_ = room_->textWindow(), input_ = room_->inputBox();
            send_ = room_->sendButton();
            accented_ = server_->registry().create(0, "Other", "Caf\xe9 \x9a Room");
        });
    }

    void cleanupTestCase() {
        server_->run([&] { room_.reset(); });
        server_.reset();
    }

    // Whole titles in any case, code page letters beyond ASCII too (é/É, š/Š); the newest match wins.
    void findsTopLevelWindows() {
        QCOMPARE(api_.findWindow(nullptr, "pALVURO 2.0"), main_);
        QCOMPARE(api_.findWindow(nullptr, "CAF\xc9 \x8a ROOM"), accented_);
        QCOMPARE(api_.findWindow(nullptr, "Palvuro"), Hwnd(0));
        QCOMPARE(api_.findWindow(nullptr, ""), Hwnd(0));
        const Hwnd newer =
            server_->read([&] { return server_->registry().create(0, "PalvuroMain", "PALVURO 2.0"); });
        QCOMPARE(api_.findWindow(nullptr, "Palvuro 2.0"), newer);
        QCOMPARE(api_.findWindow("palvuromain", nullptr), newer);
        server_->run([&] { server_->registry().destroy(newer); });
        QCOMPARE(api_.findWindow(nullptr, "Palvuro 2.0"), main_);
        QCOMPARE(api_.topLevelWindows().size(), size_t(2));
    }

    // Class names are cut to the caller's buffer; child searches see direct children only.
    void classNamesAndChildren() {
        char buffer[16];
        const auto className = [&](Hwnd hwnd, int maxCount) {
            std::memset(buffer, '#', sizeof buffer);
            return api_.getClassName(hwnd, buffer, maxCount);
        };
        QCOMPARE(className(text_, 10), 9);
        QCOMPARE(QByteArray(buffer, 11), QByteArray("RichEdit2\0#", 11));
        QCOMPARE(className(text_, 1), 0);
        QCOMPARE(QByteArray(buffer, 2), QByteArray("\0#", 2));
        for (const auto& [hwnd, maxCount] : {std::pair{text_, 0}, {send_ + 500, 10}}) {
            QCOMPARE(className(hwnd, maxCount), 0);
            QCOMPARE(buffer[0], '#');
        }
        const auto child = [&](Hwnd parent, Hwnd after, const char* name) {
            return api_.findWindowEx(parent, after, name, nullptr);
        };
        const Hwnd room = server_->read([&] { return room_->roomWindow(); });
        QCOMPARE(child(room, 0, "richedit20w"), text_);
        const Hwnd clear = child(room, 0, "Button");
        QVERIFY(clear != 0 && clear != send_);
        QCOMPARE(child(room, clear, "Button"), send_);
        QCOMPARE(child(main_, 0, "RichEdit20W"), Hwnd(0)); // a grandchild
    }

    // The capacity travels in the buffer's first two bytes, low byte first (256 is 0x00 0x01);
    // nothing beyond it is touched, and a NUL follows the copy only when there is room.
    void readsLinesThroughTheBus() {
        const struct {
            int line, capacity;
            QByteArray written;
        } cases[] = {{0, 5, "ANNA "},
                     {0, 18, "ANNA  : caf\xe9 \x80 ? \r"}, // what the code page lacks is "?"
                     {1, 12, QByteArray("BOB  : hi \r\0", 12)},
                     {1, 256, QByteArray("BOB  : hi \r\0", 12)},
                     {3, 10, {}},
                     {0, 0, {}}};
        for (const auto& [line, capacity, written] : cases) {
            QByteArray buffer(64, '#');
            LineBuffer::setCapacity(buffer.data(), capacity);
            const LResult count = api_.sendMessage(text_, wm::GetLine, WParam(line), LParam(buffer.data()));
            QCOMPARE(count, LResult(written.size() - (written.endsWith('\0') ? 1 : 0)));
            const qsizetype untouchedFrom = std::max<qsizetype>(written.size(), 2);
            QCOMPARE(buffer.left(written.size()), written);
            QCOMPARE(buffer.mid(untouchedFrom), QByteArray(64 - untouchedFrom, '#'));
        }
    }

    // The click says the input box's text only when button-down comes before button-up.
    void inputTextArrivesWholeAndClicksInOrder() {
        const QByteArray text = QByteArray(1 << 20, 'x').replace(1000, 3, "\r\n\xe9");
        QCOMPARE(api_.sendMessage(input_, wm::SetText, WParam(text.size()), LParam(text.constData())),
                 LResult(1));
        QCOMPARE(server_->read([&] { return room_->inputText(); }),
                 QString(1 << 20, 'x').replace(1000, 3, QString::fromUtf8("\r\né")));
        api_.sendMessage(input_, wm::SetText, 0, LParam("said"));
        QVERIFY(api_.postMessage(send_, wm::LButtonDown, 0, 0));
        QVERIFY(api_.postMessage(send_, wm::LButtonUp, 0, 0));
        // Pointers cannot be posted across processes.
        QVERIFY(!api_.postMessage(input_, wm::SetText, 0, LParam("x")));
        QTRY_VERIFY(roomText().endsWith("Guest  : said "));
    }

    void spyRuns_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");  // a part of the standard output, or of the error text
        QTest::addColumn<QString>("said"); // the room's last line, for a "say"
        const auto row = [](const char* tag, const QStringList& args, int exitCode, const QString& out,
                            const QString& said = {}) {
            QTest::newRow(tag) << args << exitCode << out << said;
        };
        const auto hex = [](Hwnd hwnd) { return QStringLiteral("0x%1").arg(hwnd, 8, 16, QLatin1Char('0')); };
        row("tree", {"tree", "palvuro 2.0"}, 0, "\n2  " + hex(text_) + "  RichEdit20W\n3  " + hex(input_));
        row("lines in UTF-8", {"lines", "Palvuro 2.0"}, 0,
            QString::fromUtf8("ANNA  : café € ? \nBOB  : hi \nGuest  : said \n\n"));
        row("say", {"say", "Palvuro 2.0", "h\u00e9llo\r\n\u20ac there"}, 0, {},
            QString::fromUtf8("Guest  : héllo\n€ there "));
        row("text like an option", {"say", "Palvuro 2.0", "--help"}, 0, {}, "Guest  : --help ");
        row("no room", {"say", "Caf\u00e9 \u0161 Room", "x"}, 1, "AfxWnd70u");
        row("missing title", {"lines"}, 2, "--help");
    }
    void spyRuns() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, said);
        if (!ProgramRun::built("palvuro-spy"))
            QSKIP("palvuro-spy is not built");
        const ProgramRun spy("palvuro-spy", args);
        QCOMPARE(spy.status, exitCode);
        const QString output = QString::fromUtf8(spy.out);
        const QString error = QString::fromUtf8(spy.err);
        QVERIFY2((exitCode ? error : output).contains(out), qPrintable(output + error));
        QVERIFY(exitCode ? output.isEmpty() && !error.isEmpty() : error.isEmpty());
        if (!said.isEmpty())
            QTRY_VERIFY2(roomText().endsWith(said), qPrintable(roomText().right(80)));
    }

    void folderMustBePrivate() {
        const QByteArray folder = QFile::encodeName(QFileInfo(server_->socketPath()).path());
        struct stat info {};
        QCOMPARE(::stat(folder.constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
        for (mode_t mode : {0750, 0703}) {
            QCOMPARE(::chmod(folder.constData(), mode), 0);
            QString error;
            const QString path = DesktopBusFolder::ensure(&error);
            ::chmod(folder.constData(), 0700);
            QVERIFY(path.isEmpty() && !error.isEmpty());
        }
    }

    void leftOverSocketsAreSkippedAndRemoved() {
        // Of a dead process, and of a live one that is not listening.
        for (qint64 pid : {ProgramRun("/bin/true", {}).pid, qint64(getppid())}) {
            QVERIFY(pid > 0);
            const QString path = QFileInfo(server_->socketPath()).dir().filePath(QString::number(pid));
            QVERIFY(leaveSocketFile(path));
            BusWindowApi api(500);
            QCOMPARE(api.findWindow(nullptr, "Palvuro 2.0"), main_);
            QVERIFY(!QFile::exists(path));
            QVERIFY(QFile::exists(server_->socketPath()));
        }
    }

    void silentServerGivesZeroAndIsReachedAgain() {
        BusWindowApi api(200);
        QCOMPARE(firstLine(api), LResult(18));
        QSemaphore release;
        server_->post([&] { release.acquire(); });
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^bus: dropped the connection to process \\d+ - "
                                                "no reply within 200 ms$"));
        QCOMPARE(firstLine(api), LResult(0));
        release.release();
        // The late answer to the abandoned request (18) must not be taken for this one.
        QCOMPARE(api.sendMessage(text_, wm::GetLineCount, 0, 0), rows());
    }

    // A window that announces its changes is asked once until it changes; each change, its end
    // included, reaches the very next question, and a hung owner is still noticed.
    void keptAnswersFollowTheWindow() {
        Hwnd watched = 0;
        int asked = 0;
        LResult count = 2;
        server_->run([&] {
            watched = server_->registry().create(0, "Watched", {}, [&](std::uint32_t m, WParam w, LParam) {
                ++asked;
                return m == wm::GetLineCount ? count : LResult(w) + 10;
            });
            server_->registry().announceChanges(watched);
        });
        BusWindowApi api(300);
        const auto lines = [&] { return api.sendMessage(watched, wm::GetLineCount, 0, 0); };
        for (int i = 0; i < 50; ++i)
            QCOMPARE(lines(), LResult(2));
        QCOMPARE(server_->read([&] { return asked; }), 1);
        int woken = 0;
        const auto wake = [&] { ++woken; };
        QCOMPARE(api.keptAnswer(watched, wm::GetLineCount, 0, 0, wake).value_or(-1), LResult(2));
        QVERIFY(!api.keptAnswer(watched, wm::LineIndex, 7, 0, wake));
        server_->run([&] {
            count = 3;
            server_->registry().changed(watched);
        });
        QTRY_COMPARE(woken, 1);
        QCOMPARE(lines(), LResult(3));
        // Unchanged, the answer is asked again once it is old: that wakes its watcher too.
        QCOMPARE(api.keptAnswer(watched, wm::GetLineCount, 0, 0, wake).value_or(-1), LResult(3));
        QTRY_COMPARE(woken, 2);
        QCOMPARE(lines(), LResult(3));
        // A question that takes the notice before the event loop sees it wakes the watcher too.
        QCOMPARE(api.keptAnswer(watched, wm::GetLineCount, 0, 0, wake).value_or(-1), LResult(3));
        server_->run([&] { server_->registry().changed(watched); });
        QCOMPARE(lines(), LResult(3)); // no event loop in between
        QCOMPARE(woken, 3);
        QCOMPARE(api.sendMessage(watched, wm::LineIndex, 1, 0), LResult(11));

        QSemaphore release;
        server_->post([&] { release.acquire(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^bus: dropped the connection to process"));
        QTRY_COMPARE(lines(), LResult(0));
        release.release();
        QCOMPARE(lines(), LResult(3));
        server_->run([&] { server_->registry().destroy(watched); });
        QCOMPARE(lines(), LResult(0));
    }

    // A window of no live owner, or none at all: zero, and the caller's buffer is left alone.
    void windowsOfNoOwnerGiveZero() {
        BusWindowApi api(2000);
        QCOMPARE(api.sendMessage(text_, wm::GetLine, 0, 0), LResult(0)); // no buffer
        QCOMPARE(api.sendMessage(0, wm::GetLineCount, 0, 0), LResult(0));
        const Hwnd foreign = Hwnd(ProgramRun("/bin/true", {}).pid) << BusFrame::WindowBits | 1;
        QCOMPARE(api.sendMessage(foreign, wm::GetLineCount, 0, 0), LResult(0));
        QVERIFY(!api.postMessage(foreign, wm::LButtonDown, 0, 0));
        char buffer[10] = "untouched";
        QCOMPARE(api.getClassName(foreign, buffer, 10), 0);
        QCOMPARE(QByteArray(buffer), QByteArray("untouched"));
    }

    // That the server survives any bytes at all is the fuzz seeds' case, replayed in every run.
    void badFramesCloseOnlyTheirConnection_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closed");
        QTest::newRow("length over the cap") << lengthOnly(0xffffffffu, "xyz") << true;
        QTest::newRow("unknown op") << request(BusFrame::Op(0xee)) << true;
        QTest::newRow("names overrun")
            << request(BusFrame::Op::FindTopLevel, lengthOnly(0x7fffffff).prepend('\3')) << true;
        QTest::newRow("truncated frame") << lengthOnly(100, "0123456789") << false;
        QTest::newRow("large frame announced") << lengthOnly(50u << 20, QByteArray(4096, '\1')) << false;
    }
    void badFramesCloseOnlyTheirConnection() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closed);
        if (closed)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^bus: dropped a peer: "));
        QLocalSocket bad;
        bad.connectToServer(server_->socketPath());
        QVERIFY(bad.waitForConnected(2000));
        bad.write(bytes);
        QVERIFY(bad.waitForBytesWritten(2000));
        BusWindowApi api(2000);
        QCOMPARE(firstLine(api), LResult(18));
        if (closed)
            QTRY_COMPARE(bad.state(), QLocalSocket::UnconnectedState);
        else
            QCOMPARE(bad.state(), QLocalSocket::ConnectedState);
        QCOMPARE(firstLine(api), LResult(18));
    }
};

QTEST_GUILESS_MAIN(TstBus)
#include "tst_bus.moc"
