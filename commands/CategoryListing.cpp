#include "commands/CategoryListing.h"
#include "chat/RoomTexts.h"

#include "chat/ChatLink.h"
#include "commands/CommandsLog.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"

namespace palvuro {

CategoryListing::CategoryListing(ChatLink& link, const TriviaStore& store) : link_(link), store_(store) {}

void CategoryListing::showCategories() {
    const std::unique_ptr<TriviaDatabase> db = store_.connect();
    QStringList names;
    const bool listed = db->open() == DbStatus::Ok && db->listCategories(&names) == DbStatus::Ok;
    db->close();
    // An unreadable database says nothing: an empty list would tell the room there are no
    // categories, which is not known.
    if (!listed) {
        warnCommandFailed("!CATEGORIES", db->errorText());
        return;
    }
    link_.sendChat(RoomTexts::categoryList(names));
}

} // namespace palvuro
