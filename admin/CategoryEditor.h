#pragma once

#include "admin/Notice.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace palvuro {

class TriviaDatabase;
enum class DbStatus;

// The categories of the category editor window: the names in its category box, the text of
// the box's edit line, and the working table that new pairs go into. Category names are
// shown as stored, or, for a category made in this window, as typed less spaces at both ends.
class CategoryEditor {
public:
    struct Outcome {
        bool done = false; // the operation changed what it set out to change
        std::optional<Notice> notice;
    };

    explicit CategoryEditor(TriviaDatabase& db);

    // Lists the categories and opens the remembered one (or the first).
    std::optional<Notice> load();
    // The operator chose `boxText` in the category box. Failures are silent.
    void pick(const QString& boxText);
    Outcome create(const QString& typedName);
    // Drops the category named `boxText` once `confirm` says yes.
    Outcome remove(const QString& boxText, const std::function<bool()>& confirm);
    Outcome addPair(const QString& question, const QString& answer);

    const QStringList& names() const { return names_; }
    const QString& editText() const { return editText_; }
    bool haveCategories() const { return !names_.isEmpty(); }
    // The stored name of the table new pairs go into, when one is open.
    const std::optional<QString>& workingTable() const { return workingTable_; }

    static QString deleteQuestion();

private:
    bool openWorkingTable(const QString& name);
    void removeEntry(const QString& boxText);
    void showFirstEntry();

    TriviaDatabase& db_;
    QStringList names_;
    QString editText_;
    std::optional<QString> workingTable_;
};

} // namespace palvuro
