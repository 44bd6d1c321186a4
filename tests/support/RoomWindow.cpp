#include "tests/support/RoomWindow.h"

#include "platform/LineBuffer.h"
#include "platform/Windows1252.h"

#include <algorithm>
#include <cstring>

namespace palvuro {

bool RoomWindow::find() {
    const Hwnd main = api_.findWindow(nullptr, "Palvuro 2.0");
    api_.enumChildWindows(
        main,
        [this](Hwnd hwnd, LParam) {
            char name[16] = {};
            api_.getClassName(hwnd, name, int(sizeof name));
            if (std::strcmp(name, "RichEdit20W") != 0)
                return 1;
            text_ = hwnd;
            return 0;
        },
        0);
    next_ = std::max<LResult>(0, api_.sendMessage(text_, wm::GetLineCount, 0, 0) - 1);
    return main != 0 && text_ != 0;
}

QStringList RoomWindow::newLines() {
    const LResult count = api_.sendMessage(text_, wm::GetLineCount, 0, 0);
    if (count - 1 < next_)
        next_ = std::max<LResult>(0, count - 1); // old lines dropped: read on from the end
    QStringList out;
    for (; next_ < count - 1; ++next_)
        out << line(next_);
    return out;
}

QString RoomWindow::line(LResult index) {
    const LResult start = api_.sendMessage(text_, wm::LineIndex, WParam(index), 0);
    const LResult length = api_.sendMessage(text_, wm::LineLength, WParam(start), 0);
    if (length < 1)
        return {};
    QByteArray buffer = LineBuffer::make(int(length));
    const LResult copied =
        api_.sendMessage(text_, wm::GetLine, WParam(index), reinterpret_cast<LParam>(buffer.data()));
    return Windows1252::decode(buffer.constData(), int(std::clamp<LResult>(copied, 0, length)));
}

} // namespace palvuro
