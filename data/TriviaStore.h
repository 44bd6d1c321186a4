#pragma once

#include "data/ServerAddress.h"

#include <QString>

#include <memory>
#include <optional>

namespace palvuro {

class TriviaDatabase;

// Where one bot's questions and scores live, chosen once when the program starts and handed to
// every command and window, each of which asks it for a connection of its own. "Users List.txt"
// stays in the program's folder whatever holds the questions: who may start a game is one
// room's affair.
class TriviaStore {
public:
    // "Trivia.mdb" in `folder`. Not explicit: a folder is all that names the file store.
    TriviaStore(QString folder); // NOLINT(google-explicit-constructor)
    // A database on a server; `folder` keeps the users list.
    TriviaStore(QString folder, ServerAddress server);

    const QString& folder() const { return folder_; }
    bool isServer() const { return server_.has_value(); }
    // The file's path or the server's address, for messages.
    QString location() const;

    // A new connection, not yet open: it opens on its first operation.
    std::unique_ptr<TriviaDatabase> connect() const;

private:
    QString folder_;
    std::optional<ServerAddress> server_;
};

} // namespace palvuro
