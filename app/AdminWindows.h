#pragma once

#include "app/AdminWindowSlot.h"
#include "data/TriviaStore.h"

#include <QString>

namespace palvuro {

// The makers of the three administration windows of the File menu, each on the program's store.
class AdminWindows {
public:
    static AdminWindowSlot::Factory scoreEditor(const TriviaStore& store);    // frmEditScores
    static AdminWindowSlot::Factory categoryEditor(const TriviaStore& store); // frmCatergories
    static AdminWindowSlot::Factory usersEditor(const TriviaStore& store);    // frmTriviaUsers
};

} // namespace palvuro
