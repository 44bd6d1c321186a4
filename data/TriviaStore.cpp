#include "data/TriviaStore.h"

#include "data/TriviaDatabase.h"

#include <QDir>

namespace palvuro {

TriviaStore::TriviaStore(QString folder) : folder_(std::move(folder)) {}

TriviaStore::TriviaStore(QString folder, ServerAddress server)
    : folder_(std::move(folder)), server_(std::move(server)) {}

QString TriviaStore::location() const {
    return server_ ? server_->shown()
                   : QDir::toNativeSeparators(folder_ + QLatin1Char('/') + TriviaDatabase::fileName());
}

std::unique_ptr<TriviaDatabase> TriviaStore::connect() const {
    return server_ ? std::make_unique<TriviaDatabase>(*server_) : std::make_unique<TriviaDatabase>(folder_);
}

} // namespace palvuro
