#pragma once

#include "admin/Notice.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace palvuro {

// The users editor's copy of the authorized users list. Entries keep their places while the
// window is open: a deleted entry holds the deletion marker until the list is saved.
class UsersEditor {
public:
    enum class Mode { None, Add, Delete, Edit };
    // What the list box must do to stay aligned with the entries.
    enum class Change { Nothing, Appended, Replaced };
    struct Outcome {
        Change change = Change::Nothing;
        int row = -1;           // the entry appended or replaced
        bool clearNick = false; // empty the name box
        std::optional<Notice> notice;
    };

    static constexpr int MaxEntries = 32767;

    explicit UsersEditor(QStringList entries = {});

    // One press of "&Excute" in `mode` with the name box's text and the selected row (-1: none).
    Outcome execute(Mode mode, const QString& nick, int selectedRow);

    const QStringList& entries() const { return entries_; }
    bool changed() const { return changed_; }

private:
    Outcome add(const QString& nick);
    Outcome markDeleted(int selectedRow);
    Outcome edit(const QString& nick, int selectedRow);
    Outcome replace(int row, const QString& text, bool clearNick);

    QStringList entries_;
    bool changed_ = false;
};

} // namespace palvuro
