#include "admin/ScoreEditor.h"

#include "data/Spaces.h"

#include "data/TextRules.h"
#include "data/TriviaDatabase.h"

namespace palvuro {

ScoreEditor::ScoreEditor(TriviaStore store) : store_(std::move(store)) {}

QString ScoreEditor::nickKey(const QString& searchText) {
    return Spaces::storedForm(searchText);
}

ScoreEditor::FindOutcome ScoreEditor::find(const QString& searchText) {
    const std::unique_ptr<TriviaDatabase> connection = store_.connect();
    TriviaDatabase& db = *connection;
    std::optional<qint64> points;
    const DbStatus status = db.lookupScore(nickKey(searchText), &points);
    found_ = status == DbStatus::Ok && points.has_value();
    if (status != DbStatus::Ok)
        return {QString(), false, Notice::databaseFailure(db)};
    if (!points)
        return {QString(), true, Notice::information(QStringLiteral("Nick Name Not Found"))};
    return {QString::number(*points), false, std::nullopt};
}

std::optional<Notice> ScoreEditor::update(const QString& searchText, const QString& scoreText) {
    if (!found_)
        return Notice::exclamation(QStringLiteral("You must find a player first"));
    if (scoreText.isEmpty())
        return Notice::exclamation(QStringLiteral("Please Enter A Score Vaule"));
    // The box lets only digits be typed, but text pasted into it is not filtered.
    if (!isAsciiDigits(scoreText)) {
        return Notice::exclamation(
            QStringLiteral("The score \"%1\" is not a number. Enter digits only; nothing was changed.")
                .arg(scoreText));
    }
    bool ok = false;
    const qint32 points = scoreText.toInt(&ok, 10);
    if (!ok) {
        return Notice::exclamation(
            QStringLiteral("The score \"%1\" is too large; nothing was changed.").arg(scoreText));
    }
    const std::unique_ptr<TriviaDatabase> connection = store_.connect();
    TriviaDatabase& db = *connection;
    if (db.setScore(nickKey(searchText), points) != DbStatus::Ok)
        return Notice::databaseFailure(db);
    return std::nullopt;
}

std::optional<Notice> ScoreEditor::resetAll() {
    const std::unique_ptr<TriviaDatabase> connection = store_.connect();
    TriviaDatabase& db = *connection;
    if (db.deleteAllScores() != DbStatus::Ok)
        return Notice::databaseFailure(db);
    return std::nullopt;
}

} // namespace palvuro
