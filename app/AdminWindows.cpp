#include "app/AdminWindows.h"

#include "admin/CategoryEditorWindow.h"
#include "admin/ScoreEditorWindow.h"
#include "admin/UsersEditorWindow.h"

namespace palvuro {
namespace {

template <class Window, class Place> AdminWindowSlot::Factory makerOf(const Place& place) {
    return [place](QWidget* parent) -> QWidget* { return new Window(place, parent); };
}

} // namespace

AdminWindowSlot::Factory AdminWindows::scoreEditor(const TriviaStore& store) {
    return makerOf<ScoreEditorWindow>(store);
}

AdminWindowSlot::Factory AdminWindows::categoryEditor(const TriviaStore& store) {
    return makerOf<CategoryEditorWindow>(store);
}

// Authorized users stay in the program's folder whatever holds the questions.
AdminWindowSlot::Factory AdminWindows::usersEditor(const TriviaStore& store) {
    return makerOf<UsersEditorWindow>(store.folder());
}

} // namespace palvuro
