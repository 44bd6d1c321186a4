#include "platform/BusServer.h"

#include "platform/BusFrame.h"
#include "platform/DesktopBusFolder.h"
#include "platform/LineBuffer.h"
#include "platform/LocalSocketWriter.h"
#include "platform/PlatformLog.h"
#include "platform/Win32Semantics.h"
#include "platform/WindowRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace palvuro {

namespace {

// A client that stops reading its replies must not make the server hoard memory for it.
constexpr qint64 MaxUnsentBytes = qint64(BusFrame::MaxPayload);
// A watcher reads its notices at its own pace; one that fell this far behind is cut off and
// asks the window itself again.
constexpr qint64 MaxUnsentNotices = 64 * 1024;

bool peerIsThisUser(qintptr descriptor) {
#if defined(SO_PEERCRED)
    struct ucred cred {};
    socklen_t size = sizeof cred;
    if (getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return false;
    return cred.uid == getuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (getpeereid(int(descriptor), &uid, &gid) != 0)
        return false;
    return uid == getuid();
#endif
}

const char* filter(const std::optional<std::string>& name) {
    return name ? name->c_str() : nullptr;
}

QByteArray fromString(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

bool isPointerMessage(std::uint32_t msg) {
    return msg == wm::SetText || msg == wm::GetLine;
}

// The threads the listening servers of this process answer on.
QMutex servingMutex;
std::multiset<const QThread*> servingThreads;

void setServing(const QThread* thread, bool serving) {
    const QMutexLocker lock(&servingMutex);
    if (serving) {
        servingThreads.insert(thread);
        return;
    }
    const auto found = servingThreads.find(thread);
    if (found != servingThreads.end())
        servingThreads.erase(found);
}

} // namespace

struct BusServer::Private {
    Private(BusServer* owner, WindowRegistry& r) : q(owner), registry(r) {}

    BusServer* q;
    WindowRegistry& registry;
    QLocalServer* server = nullptr;
    QString path;
    QString error;
    std::uint64_t startedMs = 0;
    std::map<QLocalSocket*, QByteArray> buffers; // every accepted connection's unread bytes
    std::map<QLocalSocket*, Hwnd> watchers;      // connections told of one window's changes

    void accept(QLocalSocket* socket) {
        if (!peerIsThisUser(socket->socketDescriptor())) {
            qCWarning(lcPlatform) << "bus: refused a connection from another user";
            socket->abort();
            socket->deleteLater();
            return;
        }
        buffers.emplace(socket, QByteArray());
        QObject::connect(socket, &QLocalSocket::readyRead, q, [this, socket] { readFrom(socket); });
        QObject::connect(socket, &QLocalSocket::disconnected, q, [this, socket] { drop(socket); });
    }

    void drop(QLocalSocket* socket) {
        watchers.erase(socket);
        if (buffers.erase(socket) == 0)
            return;
        socket->disconnect(q);
        socket->abort();
        socket->deleteLater();
    }

    void readFrom(QLocalSocket* socket) {
        const auto found = buffers.find(socket);
        if (found == buffers.end())
            return;
        found->second.append(socket->readAll());
        // A window procedure may run a nested event loop that reads this socket again or drops
        // it, so the buffer is looked up afresh for every frame.
        const QPointer<QLocalSocket> alive(socket);
        for (;;) {
            const auto entry = buffers.find(socket);
            if (!alive || entry == buffers.end())
                return;
            QByteArray payload;
            const BusFrame::Take take = BusFrame::takeFrame(entry->second, payload);
            if (take == BusFrame::Take::NeedMore)
                return;
            if (take == BusFrame::Take::TooLong || !answer(socket, payload)) {
                // A peer that sends nonsense or does not read its replies loses its connection;
                // its next call fails like a call to a window that is gone.
                qCWarning(lcPlatform)
                    << "bus: dropped a peer:"
                    << (take == BusFrame::Take::TooLong ? "frame too long" : "bad request or unread replies");
                drop(socket);
                return;
            }
        }
    }

    // False when the connection must be closed.
    bool answer(QLocalSocket* socket, const QByteArray& payload) {
        const std::optional<BusFrame::Request> request = BusFrame::decodeRequest(payload);
        if (!request)
            return false;
        if (request->op == BusFrame::Op::Post) {
            post(*request);
            return true;
        }
        if (request->op == BusFrame::Op::Watch)
            return watch(socket, request->handle);
        BusFrame::Reply reply;
        const QPointer<QLocalSocket> alive(socket);
        if (!fillReply(*request, reply))
            return false;
        if (!alive || buffers.count(socket) == 0)
            return true;
        LocalSocketWriter::write(*socket, BusFrame::encode(reply));
        return socket->bytesToWrite() <= MaxUnsentBytes;
    }

    bool fillReply(const BusFrame::Request& request, BusFrame::Reply& reply) {
        using Op = BusFrame::Op;
        switch (request.op) {
        case Op::FindTopLevel:
        case Op::FindChild:
            return find(request, reply);
        case Op::ListTopLevel:
            reply.bytes = listTopLevel();
            return true;
        case Op::Descendants:
            reply.result = descendants(request.handle, reply.bytes);
            return true;
        case Op::Exists:
            reply.result = registry.exists(request.handle) ? 1 : 0;
            return true;
        case Op::ClassName:
        case Op::Title:
            reply.result = registry.exists(request.handle) ? 1 : 0;
            reply.bytes = fromString(request.op == Op::ClassName ? registry.className(request.handle)
                                                                 : registry.title(request.handle));
            return true;
        case Op::Send:
            reply.result = send(request, reply.bytes);
            return true;
        case Op::Post:
        case Op::Watch:
            break;
        }
        return false;
    }

    bool find(const BusFrame::Request& request, BusFrame::Reply& reply) const {
        const std::optional<BusFrame::Names> names = BusFrame::unpackNames(request.bytes);
        if (!names)
            return false;
        if (request.op == BusFrame::Op::FindChild) {
            reply.result = findChild(request.handle, Hwnd(request.wParam), *names);
        } else {
            reply.result = findTopLevel(*names);
            BusFrame::appendU64(reply.bytes, startedMs);
        }
        return true;
    }

    bool matches(Hwnd hwnd, const BusFrame::Names& names) const {
        return Win32Semantics::matches(filter(names.className), registry.className(hwnd)) &&
               Win32Semantics::matches(filter(names.title), registry.title(hwnd));
    }

    // Several top-level matches: the newest window wins, as the topmost one would on Win32.
    Hwnd findTopLevel(const BusFrame::Names& names) const {
        const std::vector<Hwnd> windows = registry.topLevel();
        const auto found =
            std::find_if(windows.rbegin(), windows.rend(), [&](Hwnd hwnd) { return matches(hwnd, names); });
        return found == windows.rend() ? 0 : *found;
    }

    Hwnd findChild(Hwnd parent, Hwnd childAfter, const BusFrame::Names& names) const {
        if (parent != 0 && !registry.exists(parent))
            return 0;
        const std::vector<Hwnd> windows = parent != 0 ? registry.children(parent) : registry.topLevel();
        auto from = windows.begin();
        if (childAfter != 0) {
            from = std::find(windows.begin(), windows.end(), childAfter);
            if (from == windows.end())
                return 0;
            ++from;
        }
        const auto found = std::find_if(from, windows.end(), [&](Hwnd hwnd) { return matches(hwnd, names); });
        return found == windows.end() ? 0 : *found;
    }

    QByteArray listTopLevel() const {
        QByteArray out;
        for (Hwnd hwnd : registry.topLevel()) {
            const std::string title = registry.title(hwnd);
            BusFrame::appendU32(out, hwnd);
            BusFrame::appendU32(out, std::uint32_t(title.size()));
            out.append(title.data(), qsizetype(title.size()));
        }
        return out;
    }

    LResult descendants(Hwnd hwnd, QByteArray& out) const {
        if (!registry.exists(hwnd))
            return 0;
        const std::vector<Hwnd> windows = registry.descendants(hwnd);
        out.reserve(qsizetype(windows.size()) * 4);
        for (Hwnd child : windows)
            BusFrame::appendU32(out, child);
        return 1;
    }

    // The window procedure gets in-process pointers, as from a sender in its own process.
    LResult send(const BusFrame::Request& request, QByteArray& out) {
        const auto wParam = static_cast<WParam>(request.wParam);
        if (request.msg == wm::SetText) {
            // QByteArray keeps a NUL after its data, which makes the text a C string.
            return registry.dispatch(request.handle, request.msg, wParam,
                                     reinterpret_cast<LParam>(request.bytes.constData()));
        }
        if (request.msg == wm::GetLine)
            return getLine(request.handle, wParam, request.bytes, out);
        return registry.dispatch(request.handle, request.msg, wParam, static_cast<LParam>(request.lParam));
    }

    // The request carries the caller's capacity; the procedure fills a buffer of that size here
    // and the reply carries back only what it copied.
    LResult getLine(Hwnd hwnd, WParam line, const QByteArray& bytes, QByteArray& out) {
        if (bytes.size() < 2)
            return 0;
        const int capacity = LineBuffer::capacity(bytes.constData());
        QByteArray buffer = LineBuffer::make(capacity);
        const LResult copied =
            registry.dispatch(hwnd, wm::GetLine, line, reinterpret_cast<LParam>(buffer.data()));
        const LResult kept = std::clamp<LResult>(copied, 0, capacity);
        out = buffer.left(qsizetype(kept));
        return kept;
    }

    bool watch(QLocalSocket* socket, Hwnd hwnd) {
        BusFrame::Reply reply;
        reply.result = registry.announcesChanges(hwnd) ? 1 : 0;
        LocalSocketWriter::write(*socket, BusFrame::encode(reply));
        if (reply.result != 0)
            watchers[socket] = hwnd;
        return true;
    }

    // Written at once, before the change can be asked about: a watcher that finds no notice
    // waiting knows its kept answers are still the window's.
    void notify(Hwnd hwnd) {
        const bool gone = !registry.exists(hwnd);
        BusFrame::Reply notice;
        notice.result = LResult(hwnd);
        const QByteArray frame = BusFrame::encode(notice);
        std::vector<QLocalSocket*> done;
        for (const auto& [socket, watched] : watchers) {
            if (watched != hwnd)
                continue;
            LocalSocketWriter::write(*socket, frame);
            if (gone || socket->bytesToWrite() > MaxUnsentNotices)
                done.push_back(socket);
        }
        for (QLocalSocket* socket : done)
            drop(socket);
    }

    void post(const BusFrame::Request& request) {
        // A posted message cannot carry a pointer across processes; Win32 refuses these too.
        if (isPointerMessage(request.msg))
            return;
        const Hwnd hwnd = request.handle;
        const std::uint32_t msg = request.msg;
        const auto wParam = static_cast<WParam>(request.wParam);
        const auto lParam = static_cast<LParam>(request.lParam);
        QMetaObject::invokeMethod(
            q, [this, hwnd, msg, wParam, lParam] { registry.dispatch(hwnd, msg, wParam, lParam); },
            Qt::QueuedConnection);
    }
};

BusServer::BusServer(WindowRegistry& registry, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, registry)) {
    d->server = new QLocalServer(this);
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(d->server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = d->server->nextPendingConnection())
            d->accept(socket);
    });
    registry.setChangeListener([this](Hwnd hwnd) { d->notify(hwnd); });
}

BusServer::~BusServer() {
    d->registry.setChangeListener({});
    if (d->server->isListening())
        setServing(thread(), false);
    // The server's sockets are its children; closing them first keeps their signals away
    // from the Private that is about to go.
    for (const auto& entry : d->buffers)
        entry.first->disconnect(this);
    d->buffers.clear();
    d->watchers.clear();
}

bool BusServer::start() {
    QString error;
    const QString folder = DesktopBusFolder::ensure(&error);
    if (folder.isEmpty()) {
        d->error = error;
        return false;
    }
    d->path = QDir(folder).filePath(QString::number(getpid()));
    // A file of our own pid can only be left over from an earlier process that died.
    QLocalServer::removeServer(d->path);
    if (!d->server->listen(d->path)) {
        d->error = d->server->errorString();
        return false;
    }
    d->startedMs = std::uint64_t(QDateTime::currentMSecsSinceEpoch());
    setServing(thread(), true);
    return true;
}

QString BusServer::socketPath() const {
    return d->path;
}

QString BusServer::errorString() const {
    return d->error;
}

bool BusServer::answersOnThisThread() {
    const QMutexLocker lock(&servingMutex);
    return servingThreads.count(QThread::currentThread()) != 0;
}

// pid_max is at most 2^22 and a handle has 32 bits: ten bits are left for a process's windows.
Hwnd BusServer::handleBaseForThisProcess() {
    return Hwnd(getpid()) << BusFrame::WindowBits;
}

} // namespace palvuro
