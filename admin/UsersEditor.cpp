#include "admin/UsersEditor.h"

#include "data/UsersList.h"

namespace palvuro {
namespace {

UsersEditor::Outcome refused(const Notice& notice) {
    UsersEditor::Outcome outcome;
    outcome.notice = notice;
    return outcome;
}

Notice includeName() {
    return Notice::plain(QStringLiteral("Please Include UserName"));
}

Notice selectFirst() {
    return Notice::information(QStringLiteral("Please Select User First"));
}

} // namespace

UsersEditor::UsersEditor(QStringList entries) : entries_(std::move(entries)) {}

UsersEditor::Outcome UsersEditor::execute(Mode mode, const QString& nick, int selectedRow) {
    const bool needsEntries = mode == Mode::Delete || mode == Mode::Edit;
    if (needsEntries && entries_.isEmpty())
        return refused(Notice::plain(QStringLiteral("No data")));
    // Every other press counts as a change, refusals included: closing then rewrites the file.
    changed_ = true;
    switch (mode) {
    case Mode::Add:
        return add(nick);
    case Mode::Delete:
        return markDeleted(selectedRow);
    case Mode::Edit:
        return edit(nick, selectedRow);
    case Mode::None:
        break;
    }
    return refused(Notice::plain(QStringLiteral("Select A File Mode Option")));
}

UsersEditor::Outcome UsersEditor::add(const QString& nick) {
    if (nick.isEmpty())
        return refused(includeName());
    if (entries_.size() >= MaxEntries) {
        return refused(Notice::exclamation(
            QStringLiteral("The list is full: it holds at most %1 names. Delete a name and close the "
                           "window to make room.")
                .arg(MaxEntries)));
    }
    entries_.append(nick);
    return {Change::Appended, static_cast<int>(entries_.size() - 1), true, std::nullopt};
}

UsersEditor::Outcome UsersEditor::markDeleted(int selectedRow) {
    if (selectedRow < 0 || selectedRow >= entries_.size())
        return refused(selectFirst());
    return replace(selectedRow, UsersList::deletedMarker(), false);
}

UsersEditor::Outcome UsersEditor::edit(const QString& nick, int selectedRow) {
    if (nick.isEmpty())
        return refused(includeName());
    if (selectedRow < 0 || selectedRow >= entries_.size())
        return refused(selectFirst());
    return replace(selectedRow, nick, true);
}

UsersEditor::Outcome UsersEditor::replace(int row, const QString& text, bool clearNick) {
    entries_[row] = text;
    return {Change::Replaced, row, clearNick, std::nullopt};
}

} // namespace palvuro
