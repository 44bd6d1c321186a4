#pragma once

#include <QString>

namespace palvuro {

class ChatLink;
class TriviaStore;

// "!CATEGORIES": every category's name said to the whole room as one line.
class CategoryListing {
public:
    CategoryListing(ChatLink& link, const TriviaStore& store);

    void showCategories();

private:
    ChatLink& link_;
    const TriviaStore& store_;
};

} // namespace palvuro
