// The desktop bus under stress: unsafe folders, left-over sockets, a server that stops
// answering, and connections that send anything but well-formed frames.
#include "platform/BusFrame.h"
#include "platform/BusWindowApi.h"
#include "platform/DesktopBusFolder.h"
#include "tests/platform/BusServerThread.h"
#include "tests/platform/FakeChatWindows.h"

#include <QLocalSocket>
#include <QProcess>
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
    const QByteArray native = QFile::encodeName(path);
    std::strncpy(address.sun_path, native.constData(), sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

qint64 deadPid() {
    QProcess process;
    process.start(QStringLiteral("/bin/true"), {});
    if (!process.waitForStarted())
        return 0;
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
}

} // namespace

class TstBusServer : public QObject {
    Q_OBJECT
private:
    QTemporaryDir runtime_;
    QString folder_;
    std::unique_ptr<BusServerThread> server_;
    FakeChatWindows windows_; // lives on the server's thread

    LResult lineCount(BusWindowApi& api) { return api.sendMessage(windows_.text, wm::GetLineCount, 0, 0); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        server_ = std::make_unique<BusServerThread>();
        QVERIFY(server_->start());
        server_->run([&] {
            windows_.build(server_->registry());
            windows_.paragraphs = {"A  : one ", "B  : two "};
        });
        folder_ = QFileInfo(server_->socketPath()).path();
    }

    void cleanupTestCase() { server_.reset(); }

    void folderIsPrivate_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("owner only") << 0700 << true;
        QTest::newRow("group may enter") << 0750 << false;
        QTest::newRow("others may write") << 0703 << false;
    }
    void folderIsPrivate() {
        QFETCH(int, mode);
        QFETCH(bool, accepted);
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(folder_).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
        QCOMPARE(::chmod(QFile::encodeName(folder_).constData(), mode_t(mode)), 0);
        QString error;
        const QString path = DesktopBusFolder::ensure(&error);
        ::chmod(QFile::encodeName(folder_).constData(), 0700);
        QCOMPARE(!path.isEmpty(), accepted);
        QCOMPARE(error.isEmpty(), accepted);
    }

    void folderMadeWhenMissing() {
        QTemporaryDir other;
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", other.path().toLocal8Bit());
        const QString path = DesktopBusFolder::ensure();
        qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(path, other.filePath(QStringLiteral("palvuro-desktop")));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
    }

    void leftOverSocketsAreSkippedAndRemoved_data() {
        QTest::addColumn<qint64>("pid");
        QTest::newRow("dead process") << deadPid();
        QTest::newRow("live process, nobody listening") << qint64(getppid());
    }
    void leftOverSocketsAreSkippedAndRemoved() {
        QFETCH(qint64, pid);
        QVERIFY(pid > 0);
        const QString path = QDir(folder_).filePath(QString::number(pid));
        QVERIFY(leaveSocketFile(path));
        BusWindowApi api(500);
        QCOMPARE(api.findWindow(nullptr, "Palvuro 2.0"), windows_.main);
        QVERIFY(!QFile::exists(path));
        QVERIFY(QFile::exists(server_->socketPath()));
    }

    void silentServerGivesZeroAndIsReachedAgain() {
        BusWindowApi api(200);
        QCOMPARE(lineCount(api), LResult(3));
        QSemaphore release;
        server_->post([&] { release.acquire(); });
        QCOMPARE(api.sendMessage(windows_.text, wm::LineIndex, 1, 0), LResult(0));
        release.release();
        // The late answer to the abandoned request (10) must not be taken for this one.
        QCOMPARE(lineCount(api), LResult(3));
    }

    void ownerThatWentAwayGivesZeroUntilItIsBack() {
        BusWindowApi api(5000);
        QCOMPARE(lineCount(api), LResult(3));
        server_->stopServer();
        QCOMPARE(lineCount(api), LResult(0));
        QVERIFY(!api.postMessage(windows_.send, wm::LButtonDown, 0, 0));
        QVERIFY(server_->start());
        QCOMPARE(lineCount(api), LResult(3));
    }

    void messagesToAGoneOwnerGiveZero() {
        BusWindowApi api(200);
        const Hwnd foreign = Hwnd(deadPid()) << BusFrame::WindowBits | 1;
        QCOMPARE(api.sendMessage(foreign, wm::GetLineCount, 0, 0), LResult(0));
        QVERIFY(!api.postMessage(foreign, wm::LButtonDown, 0, 0));
        char buffer[10] = "untouched";
        QCOMPARE(api.getClassName(foreign, buffer, 10), 0);
        QCOMPARE(QByteArray(buffer), QByteArray("untouched"));
    }

    void badFramesCloseOnlyTheirConnection_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closed");
        QTest::newRow("text, not a frame") << QByteArray("GET / HTTP/1.0\r\n\r\n") << true;
        QTest::newRow("length over the cap") << lengthOnly(0xffffffffu, "xyz") << true;
        QTest::newRow("payload too short") << lengthOnly(3, "abc") << true;
        QTest::newRow("unknown op") << request(BusFrame::Op(0xee)) << true;
        QTest::newRow("names overrun")
            << request(BusFrame::Op::FindTopLevel, lengthOnly(0x7fffffff).prepend('\3')) << true;
        QTest::newRow("truncated frame") << lengthOnly(100, "0123456789") << false;
        QTest::newRow("half a length") << QByteArray("\x10\x00", 2) << false;
        QTest::newRow("large frame announced") << lengthOnly(50u << 20, QByteArray(4096, '\1')) << false;
    }
    void badFramesCloseOnlyTheirConnection() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closed);
        QLocalSocket bad;
        bad.connectToServer(server_->socketPath());
        QVERIFY(bad.waitForConnected(2000));
        bad.write(bytes);
        QVERIFY(bad.waitForBytesWritten(2000));
        BusWindowApi api(2000);
        QCOMPARE(lineCount(api), LResult(3));
        if (closed)
            QTRY_COMPARE(bad.state(), QLocalSocket::UnconnectedState);
        else
            QCOMPARE(bad.state(), QLocalSocket::ConnectedState);
        QCOMPARE(lineCount(api), LResult(3));
    }

    void framesSplitAndJoinedAreAnswered() {
        QLocalSocket raw;
        raw.connectToServer(server_->socketPath());
        QVERIFY(raw.waitForConnected(2000));
        const QByteArray two = request(BusFrame::Op::Exists) + request(BusFrame::Op::ListTopLevel);
        // Byte by byte, then both frames in one write: two replies either way.
        for (char byte : two) {
            raw.write(&byte, 1);
            QVERIFY(raw.waitForBytesWritten(2000));
        }
        raw.write(two);
        QByteArray received;
        int replies = 0;
        while (replies < 4 && raw.waitForReadyRead(2000)) {
            received += raw.readAll();
            QByteArray payload;
            while (BusFrame::takeFrame(received, payload) == BusFrame::Take::Frame)
                ++replies;
        }
        QCOMPARE(replies, 4);
    }
};

QTEST_GUILESS_MAIN(TstBusServer)
#include "tst_busserver.moc"
