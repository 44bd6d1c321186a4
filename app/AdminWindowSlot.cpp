#include "app/AdminWindowSlot.h"

namespace palvuro {

QWidget* AdminWindowSlot::open(QWidget* parent) {
    if (!window_ && factory_) {
        window_ = factory_(parent);
        if (window_) {
            window_->setAttribute(Qt::WA_DeleteOnClose);
            if (!window_->isWindow())
                window_->setWindowFlag(Qt::Window);
        }
    }
    if (!window_)
        return nullptr;
    window_->show();
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->raise();
    window_->activateWindow();
    return window_;
}

} // namespace palvuro
