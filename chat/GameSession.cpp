#include "chat/GameSession.h"

namespace palvuro {

void GameSession::start(std::unique_ptr<TriviaDatabase> connection, const QString& category) {
    connection_ = std::move(connection);
    category_ = category;
    running_ = true;
    ++number_;
}

void GameSession::stop() {
    connection_.reset();
    category_.clear();
    questionOpen_ = false;
    running_ = false;
}

void GameSession::openQuestion(const QString& question, const QString& answer) {
    question_ = question;
    answer_ = answer;
    questionOpen_ = true;
}

void GameSession::closeQuestion() {
    questionOpen_ = false;
}

} // namespace palvuro
