#pragma once

#include "platform/WindowRegistry.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace palvuro {

// A small chat client's window tree for bus tests, independent of the real client:
//   "Palvuro 2.0" > toolbar > toolbar button; room "AfxWnd70u" > text "RichEdit20W",
//   input "Edit", nick list, topic, second button, send button (the room's sixth descendant).
// The text window holds unwrapped paragraphs, each ended by a mark, and an empty final row.
struct FakeChatWindows {
    Hwnd main = 0, toolbar = 0, toolbarButton = 0, room = 0, text = 0, input = 0, nickList = 0, topic = 0,
         secondButton = 0, send = 0;
    std::vector<std::string> paragraphs;
    std::string inputText;
    std::vector<std::uint32_t> sendButtonMessages;

    void build(WindowRegistry& registry, const std::string& title = "Palvuro 2.0") {
        main = registry.create(0, "PalvuroMain", title);
        toolbar = registry.create(main, "ToolbarWindow32");
        toolbarButton = registry.create(toolbar, "Button");
        room = registry.create(main, "AfxWnd70u");
        text = registry.create(room, "RichEdit20W", {},
                               [this](std::uint32_t m, WParam w, LParam l) { return textProc(m, w, l); });
        input = registry.create(room, "Edit", {}, [this](std::uint32_t m, WParam, LParam l) -> LResult {
            if (m == wm::SetText)
                inputText = reinterpret_cast<const char*>(l);
            return m == wm::SetText;
        });
        nickList = registry.create(room, "ListBox");
        topic = registry.create(room, "Static");
        secondButton = registry.create(room, "Button");
        send = registry.create(room, "Button", "Send", [this](std::uint32_t m, WParam, LParam) -> LResult {
            sendButtonMessages.push_back(m);
            return 0;
        });
    }

    std::int32_t lineCount() const { return std::int32_t(paragraphs.size()) + 1; }
    std::string line(std::int32_t i) const {
        return size_t(i) < paragraphs.size() ? paragraphs[size_t(i)] : "";
    }
    std::int32_t lineIndex(std::int32_t line) const {
        if (line < 0 || line >= lineCount())
            return -1;
        std::int32_t start = 0;
        for (std::int32_t i = 0; i < line; ++i)
            start += std::int32_t(paragraphs[size_t(i)].size()) + 1;
        return start;
    }

    LResult textProc(std::uint32_t msg, WParam wParam, LParam lParam) const {
        const auto n = std::int32_t(wParam);
        if (msg == wm::GetLineCount)
            return lineCount();
        if (msg == wm::LineIndex)
            return lineIndex(n);
        for (std::int32_t i = 0; msg == wm::LineLength && i < lineCount(); ++i)
            if (n >= lineIndex(i) && n <= lineIndex(i) + std::int32_t(line(i).size()))
                return std::int32_t(line(i).size());
        if (msg != wm::GetLine || n >= lineCount())
            return 0;
        auto* buffer = reinterpret_cast<char*>(lParam);
        const int capacity = std::uint8_t(buffer[0]) | std::uint8_t(buffer[1]) << 8;
        const std::string row = line(n) + "\r";
        const int count = std::min(capacity, int(row.size()));
        std::memcpy(buffer, row.data(), size_t(count));
        if (count < capacity)
            buffer[count] = '\0';
        return count;
    }
};

} // namespace palvuro
