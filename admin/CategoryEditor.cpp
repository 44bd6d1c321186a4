#include "admin/CategoryEditor.h"

#include "data/Spaces.h"

#include "data/SettingsStore.h"
#include "data/TriviaDatabase.h"

namespace palvuro {
CategoryEditor::CategoryEditor(TriviaDatabase& db) : db_(db) {}

QString CategoryEditor::deleteQuestion() {
    return QStringLiteral("Are you sure you want to") + QStringLiteral("\r\n") +
           QStringLiteral("delete this category ?");
}

std::optional<Notice> CategoryEditor::load() {
    names_.clear();
    editText_.clear();
    workingTable_.reset();
    QStringList listed;
    if (db_.listCategories(&listed) != DbStatus::Ok)
        return Notice::databaseFailure(db_);
    names_ = listed;
    if (names_.isEmpty())
        return std::nullopt;
    QString name = SettingsStore::read(SettingsStore::Category);
    if (name.isEmpty())
        name = names_.first();
    editText_ = name;
    if (openWorkingTable(name))
        return std::nullopt;
    // A remembered category that is gone is forgotten; the edit line then names the
    // category new pairs really go to.
    SettingsStore::remove(SettingsStore::Category);
    editText_ = names_.first();
    if (openWorkingTable(editText_))
        return std::nullopt;
    return Notice::databaseFailure(db_);
}

void CategoryEditor::pick(const QString& boxText) {
    editText_ = boxText;
    if (!openWorkingTable(boxText))
        return;
    SettingsStore::write(SettingsStore::Category, boxText);
}

CategoryEditor::Outcome CategoryEditor::create(const QString& typedName) {
    if (typedName.isEmpty())
        return {};
    const QString name = Spaces::trimmed(typedName);
    if (names_.contains(name, Qt::CaseSensitive))
        return {false, Notice::exclamation(QStringLiteral("This catergory already exists"))};
    const DbStatus status = db_.createCategory(name);
    if (status != DbStatus::Ok)
        // Whatever the cause (a bad name, a clash, an unusable file), the operator sees the one text.
        return {false, Notice::exclamation(QStringLiteral("Faild to add catergory"))};
    names_.append(name);
    editText_ = name;
    if (!openWorkingTable(name))
        return {true, Notice::databaseFailure(db_)};
    return {true, std::nullopt};
}

CategoryEditor::Outcome CategoryEditor::remove(const QString& boxText, const std::function<bool()>& confirm) {
    if (!haveCategories())
        return {false, Notice::exclamation(QStringLiteral("No catorgies to delete."))};
    if (!confirm())
        return {};
    workingTable_.reset();
    const DbStatus status = db_.dropCategory(boxText);
    if (status != DbStatus::Ok && status != DbStatus::NoSuchCategory) {
        const Notice failure = Notice::databaseFailure(db_);
        openWorkingTable(boxText);
        return {false, failure};
    }
    removeEntry(boxText);
    if (names_.isEmpty()) {
        SettingsStore::write(SettingsStore::Category, QString());
        editText_.clear();
        return {true, std::nullopt};
    }
    showFirstEntry();
    return {true, std::nullopt};
}

void CategoryEditor::removeEntry(const QString& boxText) {
    qsizetype at = names_.indexOf(boxText);
    if (at < 0) {
        // The edit line may name the table in another letter case (a remembered name); the
        // table is gone either way, so its entry goes too.
        for (at = 0; at < names_.size(); ++at) {
            if (names_.at(at).compare(boxText, Qt::CaseInsensitive) == 0)
                break;
        }
    }
    if (at < names_.size())
        names_.removeAt(at);
}

void CategoryEditor::showFirstEntry() {
    editText_ = names_.first();
    SettingsStore::write(SettingsStore::Category, editText_);
    openWorkingTable(editText_);
}

CategoryEditor::Outcome CategoryEditor::addPair(const QString& question, const QString& answer) {
    if (question.isEmpty() || answer.isEmpty())
        return {false, Notice::exclamation(QStringLiteral("Please include your question and answer first."))};
    if (!haveCategories())
        return {false, Notice::exclamation(QStringLiteral("No catorgies to add to."))};
    if (!workingTable_) {
        return {false,
                Notice::exclamation(QStringLiteral("The category \"%1\" cannot be opened. Pick a category "
                                                   "before adding the question.")
                                        .arg(editText_))};
    }
    const DbStatus status =
        db_.addPair(*workingTable_, Spaces::storedForm(question), Spaces::storedForm(answer));
    if (status == DbStatus::NoSuchCategory) {
        const QString gone = *workingTable_;
        workingTable_.reset();
        return {false,
                Notice::exclamation(QStringLiteral("The category \"%1\" no longer exists.").arg(gone))};
    }
    if (status != DbStatus::Ok)
        return {false, Notice::databaseFailure(db_)};
    return {true, std::nullopt};
}

bool CategoryEditor::openWorkingTable(const QString& name) {
    workingTable_ = db_.findCategory(name);
    return workingTable_.has_value();
}

} // namespace palvuro
