#pragma once

#include "widgets/MessageBox.h"

#include <QString>

class QWidget;

namespace palvuro {

class TriviaDatabase;

// One message for the operator, decided by an editor's logic and shown by its window.
struct Notice {
    MessageBox::Icon icon = MessageBox::Icon::None;
    QString text;

    static Notice plain(const QString& text);
    static Notice information(const QString& text);
    static Notice exclamation(const QString& text);
    // What went wrong with the database, in the words of the database layer.
    static Notice databaseFailure(const TriviaDatabase& db);

    void show(QWidget* parent) const;
};

} // namespace palvuro
