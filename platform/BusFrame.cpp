#include "platform/BusFrame.h"

#include <QtEndian>

namespace palvuro {

namespace {

constexpr int RequestHeader = 1 + 4 + 4 + 8 + 8;
constexpr int ReplyHeader = 8;
constexpr int LengthPrefix = 4;

constexpr std::uint8_t HasClass = 1;
constexpr std::uint8_t HasTitle = 2;

// The frame's length prefix is written first and patched once the payload is complete, so the
// frame is built in one buffer without copying the payload again.
QByteArray startFrame(int payloadSize) {
    QByteArray frame;
    frame.reserve(LengthPrefix + payloadSize);
    BusFrame::appendU32(frame, static_cast<std::uint32_t>(payloadSize));
    return frame;
}

} // namespace

void BusFrame::appendU32(QByteArray& out, std::uint32_t value) {
    char bytes[sizeof value];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

void BusFrame::appendU64(QByteArray& out, std::uint64_t value) {
    char bytes[sizeof value];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

std::uint32_t BusFrame::readU32(const char* at) {
    return qFromLittleEndian<std::uint32_t>(at);
}

std::uint64_t BusFrame::readU64(const char* at) {
    return qFromLittleEndian<std::uint64_t>(at);
}

QByteArray BusFrame::encode(const Request& request) {
    QByteArray frame = startFrame(RequestHeader + int(request.bytes.size()));
    frame.append(char(request.op));
    appendU32(frame, request.handle);
    appendU32(frame, request.msg);
    appendU64(frame, request.wParam);
    appendU64(frame, static_cast<std::uint64_t>(request.lParam));
    frame.append(request.bytes);
    return frame;
}

QByteArray BusFrame::encode(const Reply& reply) {
    QByteArray frame = startFrame(ReplyHeader + int(reply.bytes.size()));
    appendU64(frame, static_cast<std::uint64_t>(reply.result));
    frame.append(reply.bytes);
    return frame;
}

std::optional<BusFrame::Request> BusFrame::decodeRequest(const QByteArray& payload) {
    if (payload.size() < RequestHeader)
        return std::nullopt;
    const char* p = payload.constData();
    const auto op = static_cast<std::uint8_t>(p[0]);
    if (op < std::uint8_t(Op::FindTopLevel) || op > std::uint8_t(Op::Watch))
        return std::nullopt;
    Request request;
    request.op = static_cast<Op>(op);
    request.handle = readU32(p + 1);
    request.msg = readU32(p + 5);
    request.wParam = readU64(p + 9);
    request.lParam = static_cast<std::int64_t>(readU64(p + 17));
    request.bytes = payload.mid(RequestHeader);
    return request;
}

std::optional<BusFrame::Reply> BusFrame::decodeReply(const QByteArray& payload) {
    if (payload.size() < ReplyHeader)
        return std::nullopt;
    Reply reply;
    reply.result = static_cast<std::int64_t>(readU64(payload.constData()));
    reply.bytes = payload.mid(ReplyHeader);
    return reply;
}

BusFrame::Take BusFrame::takeFrame(QByteArray& buffer, QByteArray& payload) {
    if (buffer.size() < LengthPrefix)
        return Take::NeedMore;
    const std::uint32_t length = readU32(buffer.constData());
    if (length > MaxPayload)
        return Take::TooLong;
    if (std::uint64_t(buffer.size()) < LengthPrefix + std::uint64_t(length))
        return Take::NeedMore;
    if (buffer.size() == LengthPrefix + qsizetype(length)) {
        payload = std::move(buffer);
        payload.remove(0, LengthPrefix);
        buffer = QByteArray();
    } else {
        payload = buffer.mid(LengthPrefix, length);
        buffer.remove(0, LengthPrefix + qsizetype(length));
    }
    return Take::Frame;
}

QByteArray BusFrame::packNames(const char* className, const char* title) {
    const QByteArray cls = className ? QByteArray(className) : QByteArray();
    QByteArray out;
    out.append(char((className ? HasClass : 0) | (title ? HasTitle : 0)));
    appendU32(out, std::uint32_t(cls.size()));
    out.append(cls);
    if (title)
        out.append(title);
    return out;
}

std::optional<BusFrame::Names> BusFrame::unpackNames(const QByteArray& bytes) {
    if (bytes.size() < 5)
        return std::nullopt;
    const auto flags = static_cast<std::uint8_t>(bytes[0]);
    const std::uint32_t classLength = readU32(bytes.constData() + 1);
    if (classLength > std::uint32_t(bytes.size() - 5))
        return std::nullopt;
    Names names;
    const char* data = bytes.constData() + 5;
    if (flags & HasClass)
        names.className = std::string(data, classLength);
    if (flags & HasTitle)
        names.title = std::string(data + classLength, size_t(bytes.size() - 5) - classLength);
    return names;
}

} // namespace palvuro
