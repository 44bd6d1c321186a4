#pragma once

#include <QString>

namespace palvuro {

class ChatLink;
class TriviaDatabase;

// "!TOP", "!MYSCORE" and "!GETUSERSCORE": read-only score replies, each on a connection of
// its own, sent privately to the requester.
class ScoreReports {
public:
    ScoreReports(ChatLink& link, QString programFolder);

    void showTopScores(const QString& line);
    // bangPos: 1-based position of the line's first "!"; otherNick: "!GETUSERSCORE".
    void showScore(const QString& line, int bangPos, bool otherNick);

private:
    void showOwnScore(TriviaDatabase& db, const QString& requester);
    void showOtherScore(TriviaDatabase& db, const QString& requester, const QString& line, int bangPos);

    ChatLink& link_;
    QString programFolder_;
};

} // namespace palvuro
