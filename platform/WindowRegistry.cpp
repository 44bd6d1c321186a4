#include "platform/WindowRegistry.h"

#include <algorithm>

namespace palvuro {

WindowRegistry::WindowRegistry(Hwnd handleBase) : next_(handleBase) {}

Hwnd WindowRegistry::create(Hwnd parent, const std::string& className, const std::string& title,
                            WindowProc proc) {
    if (parent != 0 && !exists(parent))
        return 0;
    const Hwnd hwnd = ++next_;
    windows_[hwnd] = Window{parent, className, title, std::move(proc), {}, false};
    if (parent == 0)
        topLevel_.push_back(hwnd);
    else
        windows_[parent].children.push_back(hwnd);
    return hwnd;
}

void WindowRegistry::destroy(Hwnd hwnd) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return;
    const std::vector<Hwnd> doomed = descendants(hwnd);
    const Hwnd parentHwnd = it->second.parent;
    auto& siblings = parentHwnd == 0 ? topLevel_ : windows_[parentHwnd].children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    std::vector<Hwnd> announced;
    for (Hwnd gone : doomed)
        if (announcesChanges(gone))
            announced.push_back(gone);
    if (it->second.announcesChanges)
        announced.push_back(hwnd);
    for (Hwnd child : doomed)
        windows_.erase(child);
    windows_.erase(hwnd);
    for (Hwnd gone : announced)
        if (changeListener_)
            changeListener_(gone);
}

void WindowRegistry::setTitle(Hwnd hwnd, const std::string& title) {
    auto it = windows_.find(hwnd);
    if (it != windows_.end())
        it->second.title = title;
}

void WindowRegistry::setProc(Hwnd hwnd, WindowProc proc) {
    auto it = windows_.find(hwnd);
    if (it != windows_.end())
        it->second.proc = std::move(proc);
}

bool WindowRegistry::exists(Hwnd hwnd) const {
    return windows_.count(hwnd) != 0;
}

std::vector<Hwnd> WindowRegistry::topLevel() const {
    return topLevel_;
}

std::vector<Hwnd> WindowRegistry::children(Hwnd parentHwnd) const {
    auto it = windows_.find(parentHwnd);
    return it == windows_.end() ? std::vector<Hwnd>{} : it->second.children;
}

std::vector<Hwnd> WindowRegistry::descendants(Hwnd parentHwnd) const {
    std::vector<Hwnd> out;
    // Explicit stack: a deep tree must not exhaust the call stack.
    std::vector<Hwnd> stack;
    const auto pushChildren = [&](Hwnd hwnd) {
        const auto kids = children(hwnd);
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    };
    pushChildren(parentHwnd);
    while (!stack.empty()) {
        const Hwnd hwnd = stack.back();
        stack.pop_back();
        out.push_back(hwnd);
        pushChildren(hwnd);
    }
    return out;
}

std::string WindowRegistry::className(Hwnd hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? std::string{} : it->second.className;
}

std::string WindowRegistry::title(Hwnd hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? std::string{} : it->second.title;
}

Hwnd WindowRegistry::parent(Hwnd hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? 0 : it->second.parent;
}

LResult WindowRegistry::dispatch(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end() || !it->second.proc)
        return 0;
    // Copy: the procedure may destroy its own window.
    const WindowProc proc = it->second.proc;
    return proc(msg, wParam, lParam);
}

void WindowRegistry::announceChanges(Hwnd hwnd) {
    auto it = windows_.find(hwnd);
    if (it != windows_.end())
        it->second.announcesChanges = true;
}

bool WindowRegistry::announcesChanges(Hwnd hwnd) const {
    auto it = windows_.find(hwnd);
    return it != windows_.end() && it->second.announcesChanges;
}

void WindowRegistry::changed(Hwnd hwnd) {
    if (changeListener_ && announcesChanges(hwnd))
        changeListener_(hwnd);
}

void WindowRegistry::setChangeListener(ChangeListener listener) {
    changeListener_ = std::move(listener);
}

} // namespace palvuro
