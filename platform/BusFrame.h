#pragma once

#include "platform/WindowApi.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>

namespace palvuro {

// The wire format of the desktop bus, shared by BusServer and BusWindowApi. Every frame is a
// little-endian u32 payload length followed by the payload.
//
// Request payload: u8 op, u32 handle, u32 msg, u64 wParam, i64 lParam, then the op's bytes.
// Reply payload:   i64 result, then the op's bytes.
//
// Posted messages get no reply; every other request gets exactly one.
class BusFrame {
public:
    enum class Op : std::uint8_t {
        FindTopLevel = 1, // bytes: names(class, title); result: handle; out: u64 publisher start
        ListTopLevel,     // out: (u32 handle, u32 length, title bytes)*
        Descendants,      // result: 1 when the window exists; out: u32 handles, pre-order
        Exists,           // result: 1 when the window exists
        ClassName,        // result: 1 when the window exists; out: the class name
        Title,            // result: 1 when the window exists; out: the title
        FindChild,        // wParam: child after; bytes: names(class, title); result: handle
        Send,             // bytes: SetText text / GetLine u16 capacity; result, out: GetLine bytes
        Post,             // no reply
        Watch,            // result: 1 when the window announces its changes; the connection then
                          // carries notices only: a reply whose result is the handle, at each
                          // change; it is closed when the window goes
    };

    struct Request {
        Op op = Op::Exists;
        Hwnd handle = 0;
        std::uint32_t msg = 0;
        std::uint64_t wParam = 0;
        std::int64_t lParam = 0;
        QByteArray bytes;
    };

    struct Reply {
        std::int64_t result = 0;
        QByteArray bytes;
    };

    // Whole frames, length prefix included.
    static QByteArray encode(const Request& request);
    static QByteArray encode(const Reply& reply);
    static std::optional<Request> decodeRequest(const QByteArray& payload);
    static std::optional<Reply> decodeReply(const QByteArray& payload);

    // A handle's high bits are its owner's pid, so a message finds its process without asking
    // anyone; the low bits number the owner's windows.
    static constexpr int WindowBits = 10;
    static std::uint32_t ownerPid(Hwnd hwnd) { return hwnd >> WindowBits; }

    // A frame longer than this is refused: the connection that sent it is closed.
    static constexpr std::uint32_t MaxPayload = 64u << 20;

    enum class Take { Frame, NeedMore, TooLong };
    // Moves the first whole frame's payload out of a connection's read buffer.
    static Take takeFrame(QByteArray& buffer, QByteArray& payload);

    // Two optional names (a null pointer matches anything) packed into request bytes.
    static QByteArray packNames(const char* className, const char* title);
    struct Names {
        std::optional<std::string> className;
        std::optional<std::string> title;
    };
    static std::optional<Names> unpackNames(const QByteArray& bytes);

    static void appendU32(QByteArray& out, std::uint32_t value);
    static void appendU64(QByteArray& out, std::uint64_t value);
    static std::uint32_t readU32(const char* at);
    static std::uint64_t readU64(const char* at);
};

} // namespace palvuro
