#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace palvuro {

// Tells whether a text the bot said is one of the bot's own lines: a question or an answer of
// the database, a hint, a time-out, an announcement, a refusal, a private reply or the category
// list. Whatever a chatter types can only reach these lines as a nick or a named nick, never as
// free text.
class BotTextMatcher {
public:
    using Scores = QMap<QString, qint64>;

    struct Facts {
        QStringList questions;  // as asked: leading blanks removed
        QStringList answers;    // as checked: leading blanks removed, upper-cased
        QStringList categories; // as listed
        QStringList authorized; // upper-cased names that may start and stop a game
        QString botNick;        // upper-cased
        int pauseSecs = 1;
    };

    struct Correct {
        QString nick;
        std::optional<qint64> score; // none: the score could not be saved
    };

    explicit BotTextMatcher(Facts facts);

    // `before` and `after` are Psystem around the step that said the text: a report may show
    // either.
    bool matches(const QString& text, const Scores& before, const Scores& after) const;
    // "(*)NICK (*) Is Correct, ..." taken apart; nothing for any other text.
    std::optional<Correct> parseCorrect(const QString& text) const;

private:
    bool isNick(const QString& nick) const;
    bool isHint(const QString& text) const;
    bool isHintOf(const QString& hint, const QString& answer) const;
    bool isTimesUp(const QString& text) const;
    bool isAnnouncement(const QString& text) const;
    bool isPrivate(const QString& text, const Scores& before, const Scores& after) const;
    bool isPrivateBody(const QString& requester, const QString& body, const Scores& before,
                       const Scores& after) const;
    bool isTopList(const QString& body, const Scores& before, const Scores& after) const;
    // `text` is `build` of the nick's score before or after the step, or of no score when it
    // had no row at either time.
    bool showsScoreOf(const QString& nick, const QString& text,
                      const std::function<QString(std::optional<qint64>)>& build, const Scores& before,
                      const Scores& after) const;

    Facts facts_;
    QString categoryList_;
    QString helpText_;
};

} // namespace palvuro
