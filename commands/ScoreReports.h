#pragma once

#include <QString>

namespace palvuro {

class ChatLink;
class RoomLine;
class TriviaDatabase;
class TriviaStore;

// "!TOP", "!MYSCORE" and "!GETUSERSCORE": read-only score replies, each on a connection of
// its own, sent privately to the requester.
class ScoreReports {
public:
    ScoreReports(ChatLink& link, const TriviaStore& store);

    void showTopScores(const RoomLine& line);
    // otherNick: "!GETUSERSCORE".
    void showScore(const RoomLine& line, bool otherNick);

private:
    void showOwnScore(TriviaDatabase& db, const QString& requester);
    void showOtherScore(TriviaDatabase& db, const RoomLine& line);

    ChatLink& link_;
    const TriviaStore& store_;
};

} // namespace palvuro
