#pragma once

#include "admin/Notice.h"
#include "data/TriviaStore.h"

#include <QString>

#include <optional>

namespace palvuro {

// The score editor's operations on Psystem. Each one opens its own connection to the
// database and closes it before it returns.
class ScoreEditor {
public:
    struct FindOutcome {
        QString scoreText;         // what the score box shows afterwards
        bool selectSearch = false; // select the nick box's whole text and focus it
        std::optional<Notice> notice;
    };

    explicit ScoreEditor(TriviaStore store);

    // The nick every statement uses: the search text trimmed of spaces, upper-cased.
    static QString nickKey(const QString& searchText);

    FindOutcome find(const QString& searchText);
    std::optional<Notice> update(const QString& searchText, const QString& scoreText);
    std::optional<Notice> resetAll();

    bool found() const { return found_; }

private:
    TriviaStore store_;
    bool found_ = false;
};

} // namespace palvuro
