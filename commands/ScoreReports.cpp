#include "commands/ScoreReports.h"
#include "chat/RoomTexts.h"

#include "chat/ChatLink.h"
#include "chat/RoomLine.h"
#include "commands/CommandsLog.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"

#include <optional>

namespace palvuro {

namespace {

constexpr int GetUserScoreWordLength = 13; // "!GETUSERSCORE"

} // namespace

ScoreReports::ScoreReports(ChatLink& link, const TriviaStore& store) : link_(link), store_(store) {}

void ScoreReports::showTopScores(const RoomLine& line) {
    const QString& requester = line.nick();
    // Any failure, a database that cannot be opened included, gives the empty-table reply:
    // the requester hears that no list can be shown rather than nothing at all.
    const std::unique_ptr<TriviaDatabase> db = store_.connect();
    QList<TriviaDatabase::Score> top;
    const bool read = db->open() == DbStatus::Ok && db->topScores(&top) == DbStatus::Ok;
    if (!read)
        warnCommandFailed("!TOP", db->errorText());
    db->close();
    link_.sendChat(RoomTexts::privateReply(requester, top.isEmpty() ? RoomTexts::noScoresYet()
                                                                    : RoomTexts::topScores(top)));
}

void ScoreReports::showScore(const RoomLine& line, bool otherNick) {
    // A database that cannot be opened gets no reply for these two: the program never had one,
    // and a made-up zero would be wrong.
    const std::unique_ptr<TriviaDatabase> db = store_.connect();
    if (db->open() != DbStatus::Ok) {
        warnCommandFailed(otherNick ? "!GETUSERSCORE" : "!MYSCORE", db->errorText());
        return;
    }
    if (otherNick)
        showOtherScore(*db, line);
    else
        showOwnScore(*db, line.nick());
    db->close();
}

void ScoreReports::showOwnScore(TriviaDatabase& db, const QString& requester) {
    std::optional<qint64> points;
    if (db.lookupScore(requester, &points) != DbStatus::Ok) {
        warnCommandFailed("!MYSCORE", db.errorText());
        return; // the same silence as a database that does not open
    }
    link_.sendChat(RoomTexts::privateReply(requester, RoomTexts::ownScore(points)));
}

void ScoreReports::showOtherScore(TriviaDatabase& db, const RoomLine& line) {
    const QString& requester = line.nick();
    // The nick starts one character after the word and ends before the next blank; the
    // line's closing blank ends a nick that is the last word.
    const QString rest = line.text().mid(line.bangPos() + GetUserScoreWordLength);
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    std::optional<qint64> points;
    if (blank < 0 || db.lookupScore(rest.left(blank), &points) != DbStatus::Ok) {
        if (blank >= 0)
            warnCommandFailed("!GETUSERSCORE", db.errorText());
        link_.sendChat(RoomTexts::privateReply(requester, RoomTexts::badCommand()));
        return;
    }
    link_.sendChat(RoomTexts::privateReply(requester, RoomTexts::otherScore(rest.left(blank), points)));
}

} // namespace palvuro
