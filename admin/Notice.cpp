#include "admin/Notice.h"

#include "data/TriviaDatabase.h"

namespace palvuro {

Notice Notice::plain(const QString& text) {
    return {MessageBox::Icon::None, text};
}

Notice Notice::information(const QString& text) {
    return {MessageBox::Icon::Information, text};
}

Notice Notice::exclamation(const QString& text) {
    return {MessageBox::Icon::Exclamation, text};
}

Notice Notice::databaseFailure(const TriviaDatabase& db) {
    QString why = db.errorText();
    if (why.isEmpty())
        why = QStringLiteral("The trivia database %1 could not be used.").arg(db.filePath());
    return exclamation(why);
}

void Notice::show(QWidget* parent) const {
    MessageBox::show(parent, icon, text);
}

} // namespace palvuro
