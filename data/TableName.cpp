#include "data/TableName.h"

#include "platform/LetterCase.h"

#include <QLatin1String>

#include <algorithm>
#include <iterator>

namespace palvuro {

namespace {

// The reserved words of the Jet engine's SQL, which created the categories with bare names.
// Keywords that only SQL-92 or SQLite reserve stay allowed: every statement here quotes the name.
// clang-format off
const char* const kReservedWords[] = {
    "ADD", "ALL", "ALPHANUMERIC", "ALTER", "AND", "ANY", "APPLICATION", "AS", "ASC", "ASSISTANT",
    "AUTOINCREMENT", "AVG", "BETWEEN", "BINARY", "BIT", "BOOLEAN", "BY", "BYTE", "CHAR", "CHARACTER",
    "COLUMN", "COMPACTDATABASE", "CONSTRAINT", "CONTAINER", "COUNT", "COUNTER", "CREATE",
    "CREATEDATABASE", "CREATEFIELD", "CREATEGROUP", "CREATEINDEX", "CREATEOBJECT", "CREATEPROPERTY",
    "CREATERELATION", "CREATETABLEDEF", "CREATEUSER", "CREATEWORKSPACE", "CURRENCY", "CURRENTUSER",
    "DATABASE", "DATE", "DATETIME", "DELETE", "DESC", "DESCRIPTION", "DISALLOW", "DISTINCT",
    "DISTINCTROW", "DOCUMENT", "DOUBLE", "DROP", "ECHO", "ELSE", "END", "EQV", "ERROR", "EXISTS",
    "EXIT", "FALSE", "FIELD", "FIELDS", "FILLCACHE", "FLOAT", "FLOAT4", "FLOAT8", "FOREIGN", "FORM",
    "FORMS", "FROM", "FULL", "FUNCTION", "GENERAL", "GETOBJECT", "GETOPTION", "GOTOPAGE", "GROUP",
    "GUID", "HAVING", "IDLE", "IEEEDOUBLE", "IEEESINGLE", "IF", "IGNORE", "IMP", "IN", "INDEX",
    "INDEXES", "INNER", "INSERT", "INSERTTEXT", "INT", "INTEGER", "INTEGER1", "INTEGER2", "INTEGER4",
    "INTO", "IS", "JOIN", "KEY", "LASTMODIFIED", "LEFT", "LEVEL", "LIKE", "LOGICAL", "LOGICAL1", "LONG",
    "LONGBINARY", "LONGTEXT", "MACRO", "MATCH", "MAX", "MEMO", "MIN", "MOD", "MODULE", "MONEY", "MOVE",
    "NAME", "NEWPASSWORD", "NO", "NOT", "NOTE", "NULL", "NUMBER", "NUMERIC", "OBJECT", "OFF",
    "OLEOBJECT", "ON", "OPENRECORDSET", "OPTION", "OR", "ORDER", "ORIENTATION", "OUTER", "OWNERACCESS",
    "PARAMETER", "PARAMETERS", "PARTIAL", "PERCENT", "PIVOT", "PRIMARY", "PROCEDURE", "PROPERTY",
    "QUERIES", "QUERY", "QUIT", "REAL", "RECALC", "RECORDSET", "REFERENCES", "REFRESH", "REFRESHLINK",
    "REGISTERDATABASE", "RELATION", "REPAINT", "REPAIRDATABASE", "REPORT", "REPORTS", "REQUERY",
    "RIGHT", "SCREEN", "SECTION", "SELECT", "SET", "SETFOCUS", "SETOPTION", "SHORT", "SINGLE",
    "SMALLINT", "SOME", "SQL", "STDEV", "STDEVP", "STRING", "SUM", "TABLE", "TABLEDEF", "TABLEDEFS",
    "TABLEID", "TEXT", "TIME", "TIMESTAMP", "TOP", "TRANSFORM", "TRUE", "TYPE", "UNION", "UNIQUE",
    "UPDATE", "USER", "VALUE", "VALUES", "VAR", "VARBINARY", "VARCHAR", "VARP", "VERSION", "WHERE",
    "WITH", "WORKSPACE", "XOR", "YEAR", "YES", "YESNO",
};
// clang-format on

constexpr int kMaxNameLength = 64;

bool startsWithFolded(const QString& name, QLatin1String prefix) {
    return name.startsWith(prefix, Qt::CaseInsensitive);
}

} // namespace

QString TableName::folded(const QString& name) {
    return LetterCase::upper(name);
}

bool TableName::sameName(const QString& a, const QString& b) {
    return a.size() == b.size() && folded(a) == folded(b);
}

bool TableName::isBuiltIn(const QString& name) {
    return sameName(name, QStringLiteral("Psystem")) || startsWithFolded(name, QLatin1String("sqlite_"));
}

bool TableName::isCategory(const QString& storedName) {
    return !storedName.isEmpty() && !isBuiltIn(storedName) && !storedName.startsWith(QLatin1Char('~')) &&
           !startsWithFolded(storedName, QLatin1String("msys"));
}

bool TableName::isReservedWord(const QString& upperName) {
    return std::any_of(std::begin(kReservedWords), std::end(kReservedWords),
                       [&](const char* word) { return upperName == QLatin1String(word); });
}

bool TableName::isValidBareName(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return false;
    if (name.front().isDigit())
        return false;
    const bool allWordChars = std::all_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('_') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c.isLetter();
    });
    return allWordChars && !isReservedWord(folded(name));
}

QString TableName::quoted(const QString& storedName) {
    QString inner = storedName;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

} // namespace palvuro
