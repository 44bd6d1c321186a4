#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace palvuro {

// One administration window of the main window's menu: created on first use, shown and raised
// again while it is open. The window deletes itself when closed, which discards its state; the
// next use creates a fresh one.
class AdminWindowSlot {
public:
    // Makes the window with the given parent (its owner); may give null when the window
    // cannot be made.
    using Factory = std::function<QWidget*(QWidget* parent)>;

    explicit AdminWindowSlot(Factory factory) : factory_(std::move(factory)) {}

    // Shows the open window, or a new one; null when none could be made.
    QWidget* open(QWidget* parent);
    QWidget* window() const { return window_; }

private:
    Factory factory_;
    QPointer<QWidget> window_;
};

} // namespace palvuro
