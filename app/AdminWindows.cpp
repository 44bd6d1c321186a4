#include "app/AdminWindows.h"

#include "admin/CategoryEditorWindow.h"
#include "admin/ScoreEditorWindow.h"
#include "admin/UsersEditorWindow.h"

namespace palvuro {
namespace {

template <class Window> AdminWindowSlot::Factory makerOf(const QString& programFolder) {
    return [programFolder](QWidget* parent) -> QWidget* { return new Window(programFolder, parent); };
}

} // namespace

AdminWindowSlot::Factory AdminWindows::scoreEditor(const QString& programFolder) {
    return makerOf<ScoreEditorWindow>(programFolder);
}

AdminWindowSlot::Factory AdminWindows::categoryEditor(const QString& programFolder) {
    return makerOf<CategoryEditorWindow>(programFolder);
}

AdminWindowSlot::Factory AdminWindows::usersEditor(const QString& programFolder) {
    return makerOf<UsersEditorWindow>(programFolder);
}

} // namespace palvuro
