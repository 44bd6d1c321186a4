#pragma once

#include "platform/LineBuffer.h"
#include "platform/WindowRegistry.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace palvuro {

// A small chat client's window tree for the bus benchmark, independent of the real client:
//   "Palvuro 2.0" > toolbar > toolbar button; room "AfxWnd70u" > text "RichEdit20W",
//   input "Edit", nick list, topic, second button, send button (the room's sixth descendant).
// The text window holds unwrapped paragraphs, each ended by a mark, and an empty final row.
struct FakeChatWindows {
    Hwnd main = 0, room = 0, text = 0, input = 0, secondButton = 0, send = 0;
    std::vector<std::string> paragraphs;
    std::string inputText;
    std::vector<std::uint32_t> sendButtonMessages;

    void build(WindowRegistry& registry, const std::string& title = "Palvuro 2.0") {
        main = registry.create(0, "PalvuroMain", title);
        registry.create(registry.create(main, "ToolbarWindow32"), "Button");
        room = registry.create(main, "AfxWnd70u");
        text = registry.create(room, "RichEdit20W", {},
                               [this](std::uint32_t m, WParam w, LParam l) { return textProc(m, w, l); });
        input = registry.create(room, "Edit", {}, [this](std::uint32_t m, WParam, LParam l) -> LResult {
            if (m == wm::SetText)
                inputText = reinterpret_cast<const char*>(l);
            return m == wm::SetText;
        });
        registry.create(room, "ListBox");
        registry.create(room, "Static");
        secondButton = registry.create(room, "Button");
        send = registry.create(room, "Button", "Send", [this](std::uint32_t m, WParam, LParam) -> LResult {
            sendButtonMessages.push_back(m);
            return 0;
        });
    }

    LResult textProc(std::uint32_t msg, WParam wParam, LParam lParam) const {
        static const std::string finalRow;
        const auto n = std::int32_t(wParam);
        const auto rows = std::int32_t(paragraphs.size()) + 1;
        if (msg == wm::GetLineCount)
            return rows;
        for (std::int32_t i = 0, start = 0; i < rows; ++i) {
            const std::string& row = size_t(i) < paragraphs.size() ? paragraphs[size_t(i)] : finalRow;
            const auto length = std::int32_t(row.size());
            if (msg == wm::LineIndex && n == i)
                return start;
            if (msg == wm::LineLength && n >= start && n <= start + length)
                return length;
            if (msg == wm::GetLine && n == i) {
                auto* buffer = reinterpret_cast<char*>(lParam);
                const int capacity = LineBuffer::capacity(buffer);
                const int count = std::min(capacity, length + 1);
                std::memcpy(buffer, (row + '\r').data(), size_t(count));
                if (count < capacity)
                    buffer[count] = '\0';
                return count;
            }
            start += length + 1;
        }
        return msg == wm::LineIndex ? -1 : 0;
    }
};

} // namespace palvuro
