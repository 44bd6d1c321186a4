#include "fuzz/BusFramesFuzz.h"

#include "chatclient/ChatRoom.h"
#include "fuzz/FuzzApplication.h"
#include "platform/BusFrame.h"
#include "platform/BusServer.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace palvuro {

namespace {

// Handles start here rather than at the process's own base, so that saved inputs name the same
// windows in every run.
constexpr Hwnd kHandleBase = 0x1000;
constexpr int kAnswerBoundMs = 5000;

bool sameRequest(const BusFrame::Request& a, const BusFrame::Request& b) {
    return a.op == b.op && a.handle == b.handle && a.msg == b.msg && a.wParam == b.wParam &&
           a.lParam == b.lParam && a.bytes == b.bytes;
}

bool checkCodec(const QByteArray& input, QString* failure) {
    QByteArray buffer = input;
    for (;;) {
        const qsizetype before = buffer.size();
        QByteArray payload;
        const BusFrame::Take take = BusFrame::takeFrame(buffer, payload);
        if (take != BusFrame::Take::Frame)
            break;
        if (buffer.size() != before - 4 - payload.size() ||
            payload.size() > qsizetype(BusFrame::MaxPayload)) {
            *failure = QStringLiteral("a frame did not consume its bytes");
            return false;
        }
        if (const auto request = BusFrame::decodeRequest(payload)) {
            QByteArray again = BusFrame::encode(*request);
            QByteArray inner;
            const auto decoded = BusFrame::takeFrame(again, inner) == BusFrame::Take::Frame
                                     ? BusFrame::decodeRequest(inner)
                                     : std::nullopt;
            if (!decoded || !sameRequest(*decoded, *request) || inner != payload) {
                *failure = QStringLiteral("a request did not survive encoding");
                return false;
            }
            BusFrame::unpackNames(request->bytes);
        }
        if (const auto reply = BusFrame::decodeReply(payload)) {
            QByteArray again = BusFrame::encode(*reply);
            QByteArray inner;
            if (BusFrame::takeFrame(again, inner) != BusFrame::Take::Frame || inner != payload) {
                *failure = QStringLiteral("a reply did not survive encoding");
                return false;
            }
        }
    }
    BusFrame::unpackNames(input);
    return true;
}

// A chat room's windows published on the bus, for the life of the process.
class PublishedRoom {
public:
    static PublishedRoom& get() {
        static PublishedRoom instance;
        return instance;
    }

    bool ok() const { return ok_; }
    const QString& path() const { return path_; }
    Hwnd mainWindow() const { return room_.mainWindow(); }

private:
    PublishedRoom() {
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        ok_ = server_.start();
        path_ = server_.socketPath();
    }

    QTemporaryDir runtime_;
    WindowRegistry registry_{kHandleBase};
    ChatRoom room_{registry_, QStringLiteral("Client")};
    BusServer server_{registry_};
    bool ok_ = false;
    QString path_;
};

// Runs the event loop until `done` or the bound; the server answers on this same thread.
template <typename Done> bool pumpUntil(Done done) {
    QDeadlineTimer deadline(kAnswerBoundMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool checkServer(const QByteArray& input, QString* failure) {
    PublishedRoom& room = PublishedRoom::get();
    if (!room.ok()) {
        *failure = QStringLiteral("the bus server did not start");
        return false;
    }
    {
        QLocalSocket hostile;
        hostile.connectToServer(room.path());
        if (!hostile.waitForConnected(kAnswerBoundMs)) {
            *failure = QStringLiteral("no connection to the bus server");
            return false;
        }
        QObject::connect(&hostile, &QLocalSocket::readyRead, &hostile, [&hostile] { hostile.readAll(); });
        hostile.write(input);
        // Every byte handed over, then a few rounds more for the server to read them.
        pumpUntil(
            [&] { return hostile.bytesToWrite() == 0 || hostile.state() != QLocalSocket::ConnectedState; });
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        hostile.abort();
    }
    QLocalSocket probe;
    probe.connectToServer(room.path());
    if (!probe.waitForConnected(kAnswerBoundMs)) {
        *failure = QStringLiteral("the bus server takes no connection after the input");
        return false;
    }
    BusFrame::Request exists;
    exists.op = BusFrame::Op::Exists;
    exists.handle = room.mainWindow();
    probe.write(BusFrame::encode(exists));
    QByteArray buffer;
    QByteArray payload;
    const bool answered = pumpUntil([&] {
        buffer += probe.readAll();
        return BusFrame::takeFrame(buffer, payload) == BusFrame::Take::Frame;
    });
    const auto reply = answered ? BusFrame::decodeReply(payload) : std::nullopt;
    if (!reply || reply->result != 1) {
        *failure = QStringLiteral("the bus server stopped answering after the input");
        return false;
    }
    return true;
}

} // namespace

bool BusFramesFuzz::run(const std::uint8_t* data, std::size_t size, QString* failure) {
    FuzzApplication::ensure();
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    return checkCodec(input, failure) && checkServer(input, failure);
}

int fuzzBusFrames(const std::uint8_t* data, std::size_t size) {
    QString failure;
    if (!BusFramesFuzz::run(data, size, &failure)) {
        std::fprintf(stderr, "fuzz_bus_frames: invariant broken: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}

} // namespace palvuro
