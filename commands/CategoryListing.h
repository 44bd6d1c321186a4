#pragma once

#include <QString>

namespace palvuro {

class ChatLink;

// "!CATEGORIES": every category's name said to the whole room as one line.
class CategoryListing {
public:
    CategoryListing(ChatLink& link, QString programFolder);

    void showCategories();

private:
    ChatLink& link_;
    QString programFolder_;
};

} // namespace palvuro
