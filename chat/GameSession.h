#pragma once

#include "data/TriviaDatabase.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace palvuro {

// One game: its connection and category while it runs, and the question that is open. A stopped
// game has no connection and no open question, whatever was in flight when it stopped.
class GameSession {
public:
    // Takes over the game's connection; every start gets a new number.
    void start(std::unique_ptr<TriviaDatabase> connection, const QString& category);
    void stop();
    // The answer is kept as the reader compares it: upper-cased, left-trimmed.
    void openQuestion(const QString& question, const QString& answer);
    void closeQuestion();

    bool isRunning() const { return running_; }
    // Counts the starts, so a line can tell whether its game still runs.
    std::uint32_t number() const { return number_; }
    TriviaDatabase* connection() const { return connection_.get(); }
    // The stored name of the game's table.
    const QString& category() const { return category_; }
    const QString& question() const { return question_; }
    const QString& answer() const { return answer_; }
    bool questionOpen() const { return questionOpen_; }

private:
    std::unique_ptr<TriviaDatabase> connection_;
    QString category_;
    QString question_;
    QString answer_;
    std::uint32_t number_ = 0;
    bool running_ = false;
    bool questionOpen_ = false;
};

} // namespace palvuro
