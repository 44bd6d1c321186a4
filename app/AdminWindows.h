#pragma once

#include "app/AdminWindowSlot.h"

#include <QString>

namespace palvuro {

// The makers of the three administration windows of the File menu, each on the program's folder.
class AdminWindows {
public:
    static AdminWindowSlot::Factory scoreEditor(const QString& programFolder);    // frmEditScores
    static AdminWindowSlot::Factory categoryEditor(const QString& programFolder); // frmCatergories
    static AdminWindowSlot::Factory usersEditor(const QString& programFolder);    // frmTriviaUsers
};

} // namespace palvuro
