#pragma once

#include <QString>

namespace palvuro {

// The rules for table names in Trivia.mdb: which tables are categories, how names compare
// without regard to letter case, which typed names make a valid bare table name, and how a
// stored name is quoted into a statement.
class TableName {
public:
    // Names compare in the upper case the program creates them in, independently of the locale.
    static QString folded(const QString& name);
    static bool sameName(const QString& a, const QString& b);

    // The scores table, the engine's own tables and temporary or system objects are no
    // categories.
    static bool isCategory(const QString& storedName);
    // Psystem and the engine's own names: they exist (or may appear) in every file.
    static bool isBuiltIn(const QString& name);

    // A name a bare "CREATE TABLE name" would accept: letters, digits and underscores, not
    // starting with a digit, at most 64 characters, and not a reserved SQL word.
    static bool isValidBareName(const QString& name);
    static bool isReservedWord(const QString& upperName);

    // The name as an SQL identifier: between double quotes, inner double quotes doubled.
    static QString quoted(const QString& storedName);
};

} // namespace palvuro
