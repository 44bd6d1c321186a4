#include "platform/BusWindowApi.h"

#include "platform/BusFrame.h"
#include "platform/BusServer.h"
#include "platform/DesktopBusFolder.h"
#include "platform/LineBuffer.h"
#include "platform/LocalSocketWriter.h"
#include "platform/PlatformLog.h"
#include "platform/Win32Semantics.h"
#include "platform/WindowAnswerCache.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <poll.h>
#include <set>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace palvuro {

namespace {

using Op = BusFrame::Op;

bool processIsAlive(std::uint32_t pid) {
    if (pid == 0 || pid > std::uint32_t(std::numeric_limits<pid_t>::max()))
        return false;
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

BusFrame::Request makeRequest(Op op, Hwnd handle, std::uint32_t msg = 0, WParam wParam = 0,
                              LParam lParam = 0) {
    BusFrame::Request request;
    request.op = op;
    request.handle = handle;
    request.msg = msg;
    request.wParam = wParam;
    request.lParam = lParam;
    return request;
}

std::vector<Hwnd> readHandles(const QByteArray& bytes) {
    std::vector<Hwnd> handles;
    handles.reserve(size_t(bytes.size() / 4));
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4)
        handles.push_back(BusFrame::readU32(bytes.constData() + at));
    return handles;
}

std::vector<std::pair<Hwnd, std::string>> readTitles(const QByteArray& bytes) {
    std::vector<std::pair<Hwnd, std::string>> windows;
    const char* data = bytes.constData();
    qsizetype at = 0;
    while (at + 8 <= bytes.size()) {
        const Hwnd hwnd = BusFrame::readU32(data + at);
        const std::uint32_t length = BusFrame::readU32(data + at + 4);
        at += 8;
        if (length > std::uint64_t(bytes.size() - at))
            break;
        windows.emplace_back(hwnd, std::string(data + at, length));
        at += qsizetype(length);
    }
    return windows;
}

} // namespace

struct BusWindowApi::Private {
    struct Connection {
        std::unique_ptr<QLocalSocket> socket;
        QByteArray buffer; // bytes read past the reply being waited for
    };

    explicit Private(int timeout) : timeoutMs(std::max(timeout, 1)) {}

    // More windows than a bot watches: beyond these, every question goes to the window.
    static constexpr std::size_t MaxCaches = 16;
    static constexpr std::size_t MaxUncached = 256;

    int timeoutMs;
    QString folder;
    std::map<std::uint32_t, Connection> connections; // by the owner's pid
    std::map<Hwnd, std::unique_ptr<WindowAnswerCache>> caches;
    std::set<Hwnd> uncached; // windows whose owners do not announce their changes

    // The kept answers of HWND, up to date, when MSG is one whose answers are kept.
    WindowAnswerCache* cacheFor(Hwnd hwnd, std::uint32_t msg) {
        if (hwnd == 0 || !WindowAnswerCache::keeps(msg) || uncached.count(hwnd) != 0)
            return nullptr;
        const auto found = caches.find(hwnd);
        if (found != caches.end()) {
            if (found->second->refresh())
                return found->second.get();
            caches.erase(found);
        }
        if (caches.size() >= MaxCaches)
            return nullptr;
        std::unique_ptr<WindowAnswerCache> cache =
            WindowAnswerCache::open(socketPath(BusFrame::ownerPid(hwnd)), hwnd, timeoutMs);
        if (!cache) {
            if (uncached.size() >= MaxUncached)
                uncached.clear();
            uncached.insert(hwnd);
            return nullptr;
        }
        return caches.emplace(hwnd, std::move(cache)).first->second.get();
    }

    QString busFolder() {
        if (folder.isEmpty())
            folder = DesktopBusFolder::ensure();
        return folder;
    }

    // Every process that publishes windows now. Sockets of dead processes are removed on the way.
    std::vector<std::uint32_t> livePublishers() {
        folder = DesktopBusFolder::ensure();
        if (folder.isEmpty())
            return {};
        const QDir dir(folder);
        std::vector<std::uint32_t> pids;
        const QStringList names =
            dir.entryList(QDir::System | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            bool ok = false;
            const std::uint32_t pid = name.toUInt(&ok);
            if (!ok)
                continue;
            if (answeredHere(pid))
                continue;
            if (processIsAlive(pid))
                pids.push_back(pid);
            else
                removeStale(pid);
        }
        return pids;
    }

    // This process's own windows, published on the thread that would wait for their answer:
    // skipped, as they are not the windows anybody here looks for.
    static bool answeredHere(std::uint32_t pid) {
        return pid == std::uint32_t(getpid()) && BusServer::answersOnThisThread();
    }

    QString socketPath(std::uint32_t pid) {
        const QString dir = busFolder();
        return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + QString::number(pid);
    }

    void removeStale(std::uint32_t pid) {
        connections.erase(pid);
        const QString path = socketPath(pid);
        if (!path.isEmpty() && QFile::remove(path))
            qCDebug(lcPlatform) << "bus: removed the socket of process" << pid << "which is gone";
    }

    QLocalSocket* connectionTo(std::uint32_t pid) {
        const auto found = connections.find(pid);
        if (found != connections.end()) {
            if (found->second.socket->state() == QLocalSocket::ConnectedState)
                return found->second.socket.get();
            connections.erase(found);
        }
        const QString path = socketPath(pid);
        if (path.isEmpty() || pid == 0)
            return nullptr;
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(path);
        if (!socket->waitForConnected(timeoutMs)) {
            // Nobody listens on a socket whose connect is refused: it is left over, like one of a
            // dead process.
            if (socket->error() == QLocalSocket::ConnectionRefusedError || !processIsAlive(pid))
                QFile::remove(path);
            return nullptr;
        }
        QLocalSocket* raw = socket.get();
        connections[pid] = Connection{std::move(socket), QByteArray()};
        return raw;
    }

    // One request, one reply. Nothing within the bound, or anything but a well-formed reply: the
    // connection is dropped, so a late reply can never be taken for the answer to a later request.
    std::optional<BusFrame::Reply> call(std::uint32_t pid, const BusFrame::Request& request) {
        if (answeredHere(pid))
            return std::nullopt;
        QLocalSocket* socket = connectionTo(pid);
        if (!socket)
            return std::nullopt;
        Connection& connection = connections[pid];
        LocalSocketWriter::write(*socket, BusFrame::encode(request));
        const QDeadlineTimer deadline(timeoutMs);
        QByteArray payload;
        for (;;) {
            const BusFrame::Take take = BusFrame::takeFrame(connection.buffer, payload);
            if (take == BusFrame::Take::Frame)
                break;
            if (take == BusFrame::Take::TooLong || !waitForBytes(*socket, connection.buffer, deadline)) {
                dropPeer(pid, take == BusFrame::Take::TooLong
                                  ? QStringLiteral("reply too long")
                                  : QStringLiteral("no reply within %1 ms").arg(timeoutMs));
                return std::nullopt;
            }
        }
        std::optional<BusFrame::Reply> reply = BusFrame::decodeReply(payload);
        if (!reply)
            dropPeer(pid, QStringLiteral("malformed reply"));
        return reply;
    }

    // The call in hand fails with result 0, as a call to a window that is gone does.
    void dropPeer(std::uint32_t pid, const QString& why) {
        qCWarning(lcPlatform).noquote() << "bus: dropped the connection to process" << pid << "-" << why;
        connections.erase(pid);
    }

    // Waits on the descriptor itself once the request is out: QLocalSocket's own wait runs every
    // byte through its buffer and its signals, a good part of a round trip's cost. Nothing else
    // reads this socket while a call waits, and a connection whose call fails is dropped, so no
    // reply is left behind. A large request still being written needs Qt's wait, which writes.
    static bool waitForBytes(QLocalSocket& socket, QByteArray& buffer, const QDeadlineTimer& deadline) {
        if (socket.bytesAvailable() > 0 || socket.bytesToWrite() > 0) {
            const qint64 remaining = deadline.remainingTime();
            if (socket.bytesAvailable() == 0 && (remaining <= 0 || !socket.waitForReadyRead(int(remaining))))
                return false;
            buffer.append(socket.readAll());
            return true;
        }
        pollfd ready{static_cast<int>(socket.socketDescriptor()), POLLIN, 0};
        for (;;) {
            const qint64 remaining = deadline.remainingTime();
            if (remaining <= 0 || ready.fd < 0)
                return false;
            const int polled = ::poll(&ready, 1, static_cast<int>(remaining));
            if (polled < 0 && errno == EINTR)
                continue;
            if (polled <= 0)
                return false;
            char chunk[65536];
            const ssize_t n = ::recv(ready.fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                buffer.append(chunk, static_cast<qsizetype>(n));
                return true;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
            return false; // closed by the owner, or failed
        }
    }

    std::optional<BusFrame::Reply> callOwner(Hwnd hwnd, const BusFrame::Request& request) {
        if (hwnd == 0)
            return std::nullopt;
        return call(BusFrame::ownerPid(hwnd), request);
    }

    bool exists(Hwnd hwnd) {
        const auto reply = callOwner(hwnd, makeRequest(Op::Exists, hwnd));
        return reply && reply->result != 0;
    }

    LResult getLine(Hwnd hwnd, WParam line, char* buffer) {
        if (buffer == nullptr)
            return 0;
        BusFrame::Request request = makeRequest(Op::Send, hwnd, wm::GetLine, line);
        request.bytes = QByteArray(buffer, 2);
        const int capacity = LineBuffer::capacity(buffer);
        const auto reply = callOwner(hwnd, request);
        if (!reply)
            return 0;
        const qsizetype copied =
            std::min<qsizetype>({reply->bytes.size(), capacity, qsizetype(reply->result)});
        if (copied <= 0)
            return 0;
        std::memcpy(buffer, reply->bytes.constData(), size_t(copied));
        if (copied < capacity)
            buffer[copied] = '\0';
        return LResult(copied);
    }
};

BusWindowApi::BusWindowApi(int replyTimeoutMs) : d(std::make_unique<Private>(replyTimeoutMs)) {}

BusWindowApi::~BusWindowApi() {
    // Posted messages may still sit in a socket's buffer; hand them over before going.
    for (auto& entry : d->connections) {
        QLocalSocket& socket = *entry.second.socket;
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(d->timeoutMs);
    }
}

// Several matches: the window of the most recently started publisher, and within one publisher
// the most recently created window; on Win32 the topmost one, usually the newest, wins.
Hwnd BusWindowApi::findWindow(const char* className, const char* title) {
    const BusFrame::Request request = [&] {
        BusFrame::Request r = makeRequest(Op::FindTopLevel, 0);
        r.bytes = BusFrame::packNames(className, title);
        return r;
    }();
    Hwnd best = 0;
    std::uint64_t bestStart = 0;
    for (std::uint32_t pid : d->livePublishers()) {
        const auto reply = d->call(pid, request);
        if (!reply || reply->result == 0 || reply->bytes.size() < 8)
            continue;
        const std::uint64_t started = BusFrame::readU64(reply->bytes.constData());
        if (best == 0 || started >= bestStart) {
            best = Hwnd(reply->result);
            bestStart = started;
        }
    }
    return best;
}

bool BusWindowApi::enumChildWindows(Hwnd parent, const EnumProc& proc, LParam lParam) {
    const auto reply = d->callOwner(parent, makeRequest(Op::Descendants, parent));
    if (!reply || reply->result == 0)
        return false;
    // The walk is fixed at the start; a window destroyed before its turn is skipped.
    for (Hwnd hwnd : readHandles(reply->bytes)) {
        if (d->exists(hwnd) && proc(hwnd, lParam) == 0)
            break;
    }
    return true;
}

int BusWindowApi::getClassName(Hwnd hwnd, char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount < 1)
        return 0;
    const auto reply = d->callOwner(hwnd, makeRequest(Op::ClassName, hwnd));
    if (!reply || reply->result == 0)
        return 0;
    return Win32Semantics::copyTruncated(reply->bytes.toStdString(), buffer, maxCount);
}

// With no parent and no child to start after, this is findWindow; otherwise the owner of the
// parent (or of the child to start after, among top-level windows) answers alone.
Hwnd BusWindowApi::findWindowEx(Hwnd parent, Hwnd childAfter, const char* className, const char* title) {
    if (parent == 0 && childAfter == 0)
        return findWindow(className, title);
    BusFrame::Request request = makeRequest(Op::FindChild, parent, 0, childAfter);
    request.bytes = BusFrame::packNames(className, title);
    const auto reply = d->callOwner(parent != 0 ? parent : childAfter, request);
    return reply ? Hwnd(reply->result) : 0;
}

LResult BusWindowApi::sendMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    if (msg == wm::GetLine)
        return d->getLine(hwnd, wParam, reinterpret_cast<char*>(lParam));
    BusFrame::Request request = makeRequest(Op::Send, hwnd, msg, wParam);
    if (msg == wm::SetText) {
        if (lParam != 0)
            request.bytes = QByteArray(reinterpret_cast<const char*>(lParam));
    } else {
        request.lParam = lParam;
    }
    WindowAnswerCache* cache = d->cacheFor(hwnd, msg);
    if (cache)
        if (const std::optional<LResult> known = cache->known(msg, wParam, lParam))
            return *known;
    const auto reply = d->callOwner(hwnd, request);
    if (!reply)
        return 0;
    if (cache)
        cache->remember(msg, wParam, lParam, LResult(reply->result));
    return LResult(reply->result);
}

std::optional<LResult> BusWindowApi::keptAnswer(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                                                std::function<void()> wake) {
    WindowAnswerCache* cache = d->cacheFor(hwnd, msg);
    const std::optional<LResult> known = cache ? cache->known(msg, wParam, lParam) : std::nullopt;
    if (known)
        cache->wakeOnChange(std::move(wake));
    return known;
}

bool BusWindowApi::postMessage(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    // A pointer cannot be posted to another process; Win32 refuses these messages too.
    if (hwnd == 0 || msg == wm::SetText || msg == wm::GetLine)
        return false;
    QLocalSocket* socket = d->connectionTo(BusFrame::ownerPid(hwnd));
    if (!socket)
        return false;
    LocalSocketWriter::write(*socket, BusFrame::encode(makeRequest(Op::Post, hwnd, msg, wParam, lParam)));
    return true;
}

std::vector<std::pair<Hwnd, std::string>> BusWindowApi::topLevelWindows() {
    std::vector<std::pair<Hwnd, std::string>> windows;
    for (std::uint32_t pid : d->livePublishers()) {
        const auto reply = d->call(pid, makeRequest(Op::ListTopLevel, 0));
        if (!reply)
            continue;
        for (auto& window : readTitles(reply->bytes))
            windows.push_back(std::move(window));
    }
    return windows;
}

} // namespace palvuro
