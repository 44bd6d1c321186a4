#pragma once

#include "tests/support/Chatter.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace palvuro {

// A game in a channel as its chatters see it: the bot's lines as one watching chatter receives
// them, the questions among them, and the scores the bot announces checked against what it
// stored. Indexes (*at) are into the watcher's received messages and move to what was found.
class ChannelGame {
public:
    using Message = Chatter::Message;

    ChannelGame(Chatter& watcher, const QString& channel, const QString& botNick,
                const QHash<QString, QString>& answers, const QString& dataFolder);

    // The bot's line in the channel, with exactly TEXT unless TEXT is null.
    Chatter::Match botSays(const QString& text = {}) const;
    std::optional<Message> nextBotLine(int* at, int timeoutMs = 20000) const;
    std::optional<Message> nextQuestion(int* at, int timeoutMs = 20000) const;
    // The bot's next line after *at that starts with PREFIX, lines before it passed over.
    std::optional<Message> nextStarting(const QString& prefix, int* at, int timeoutMs = 20000) const;
    QString answerTo(const Message& question) const { return answers_.value(question.text()); }
    qint64 storedScore(const QString& nick) const;

    // PLAYER answers the next question; true once the bot announced one point more for it than
    // before and stored that.
    bool answers(Chatter& player, int* at, int timeoutMs = 20000);
    // The bot's verdict for PLAYER after *at: true when it announced one point more than before
    // and stored that, false when the question closed unanswered or nothing came in time.
    bool scored(const Chatter& player, int* at, int timeoutMs = 20000);

    // ASKER says "!TOP"; the private lines the bot sends back until one reads LAST, bold
    // markers and edge blanks dropped, in order.
    QStringList topList(Chatter& asker, const QString& last) const;

private:
    Chatter& watcher_;
    QString channel_, botNick_, dataFolder_;
    const QHash<QString, QString>& answers_;
    QHash<QString, qint64> announced_; // each nick's score as the bot last announced it
};

} // namespace palvuro
