#include "app/AdminWindows.h"

namespace palvuro {

// The editors are not part of the program yet: their menu items open nothing until they are.
AdminWindowSlot::Factory AdminWindows::scoreEditor(const QString& programFolder) {
    static_cast<void>(programFolder);
    return {};
}

AdminWindowSlot::Factory AdminWindows::categoryEditor(const QString& programFolder) {
    static_cast<void>(programFolder);
    return {};
}

AdminWindowSlot::Factory AdminWindows::usersEditor(const QString& programFolder) {
    static_cast<void>(programFolder);
    return {};
}

} // namespace palvuro
