#pragma once

#include "admin/Notice.h"
#include "data/TriviaDatabase.h"

#include <QString>

#include <optional>

namespace palvuro {

// The finder panel of the category editor: finds one question/answer pair by its exact
// question or answer and then changes or deletes exactly that row. The found row stays
// bound to the table that was searched, whatever category is picked afterwards.
class PairFinder {
public:
    enum class By { Question, Answer };
    enum class Effect {
        None,
        ShowPair,         // put question and answer in the two boxes
        SelectSearchText, // select the whole text of the box searched and focus it
        ClearBoxes
    };
    struct Outcome {
        Effect effect = Effect::None;
        QString question;
        QString answer;
        std::optional<Notice> notice;
    };

    explicit PairFinder(TriviaDatabase& db);

    Outcome find(By by, const QString& category, const QString& text);
    Outcome update(const QString& question, const QString& answer);
    Outcome remove();

    bool pairFound() const { return found_.has_value(); }
    const std::optional<TriviaDatabase::Pair>& found() const { return found_; }

private:
    std::optional<Notice> goneOrFailed(DbStatus status);

    TriviaDatabase& db_;
    std::optional<TriviaDatabase::Pair> found_;
};

} // namespace palvuro
