#include "admin/PairFinder.h"

#include "data/Spaces.h"

namespace palvuro {
namespace {

Notice noCategory(const QString& category) {
    if (category.isEmpty())
        return Notice::exclamation(QStringLiteral("There is no category to search."));
    return Notice::exclamation(QStringLiteral("There is no category named \"%1\".").arg(category));
}

// A stored pair may lack a value altogether; its box shows empty text and the operator learns why.
std::optional<Notice> missingValues(const TriviaDatabase::Pair& pair) {
    if (!pair.questionNull && !pair.answerNull)
        return std::nullopt;
    QString which = pair.questionNull && pair.answerNull
                        ? QStringLiteral("Neither a question nor an answer is")
                    : pair.questionNull ? QStringLiteral("No question is")
                                        : QStringLiteral("No answer is");
    return Notice::information(which + QStringLiteral(" stored for this pair, so its box is empty. "
                                                      "Fill it in and press Update, or delete the pair."));
}

} // namespace

PairFinder::PairFinder(TriviaDatabase& db) : db_(db) {}

PairFinder::Outcome PairFinder::find(By by, const QString& category, const QString& text) {
    const bool byQuestion = by == By::Question;
    if (text.isEmpty()) {
        return {Effect::None,
                {},
                {},
                Notice::exclamation(byQuestion ? QStringLiteral("Please enter question.")
                                               : QStringLiteral("Please enter answer."))};
    }
    found_.reset();
    TriviaDatabase::Pair pair;
    const DbStatus status = byQuestion ? db_.findPairByQuestion(category, text, &pair)
                                       : db_.findPairByAnswer(category, text, &pair);
    switch (status) {
    case DbStatus::Ok:
        found_ = pair;
        return {Effect::ShowPair, pair.question, pair.answer, missingValues(pair)};
    case DbStatus::NotFound:
        return {Effect::SelectSearchText,
                {},
                {},
                Notice::information(byQuestion ? QStringLiteral("Cannot find question.")
                                               : QStringLiteral("Cannot find answer"))};
    case DbStatus::NoSuchCategory:
        return {Effect::None, {}, {}, noCategory(category)};
    default:
        return {Effect::None, {}, {}, Notice::databaseFailure(db_)};
    }
}

PairFinder::Outcome PairFinder::update(const QString& question, const QString& answer) {
    if (!found_) {
        return {Effect::None,
                {},
                {},
                Notice::exclamation(
                    QStringLiteral("You must find a question or answer before you can update it."))};
    }
    if (question.isEmpty() || answer.isEmpty())
        return {Effect::None,
                {},
                {},
                Notice::exclamation(QStringLiteral("Please include your question and answer."))};
    const DbStatus status = db_.updatePair(*found_, Spaces::storedForm(question), Spaces::storedForm(answer));
    if (status != DbStatus::Ok)
        return {Effect::None, {}, {}, goneOrFailed(status)};
    found_.reset();
    return {Effect::ClearBoxes, {}, {}, std::nullopt};
}

PairFinder::Outcome PairFinder::remove() {
    if (!found_) {
        return {Effect::None,
                {},
                {},
                Notice::exclamation(
                    QStringLiteral("You must find a question or answer before you can delete it."))};
    }
    const DbStatus status = db_.deletePair(*found_);
    if (status != DbStatus::Ok)
        return {Effect::None, {}, {}, goneOrFailed(status)};
    found_.reset();
    return {Effect::ClearBoxes, {}, {}, std::nullopt};
}

// The boxes keep the operator's text in both cases; only a row that is gone stops being found.
std::optional<Notice> PairFinder::goneOrFailed(DbStatus status) {
    if (status == DbStatus::NotFound || status == DbStatus::NoSuchCategory) {
        found_.reset();
        return Notice::exclamation(QStringLiteral("The pair you found is no longer in the database."));
    }
    return Notice::databaseFailure(db_);
}

} // namespace palvuro
