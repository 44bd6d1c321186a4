#include "data/TableName.h"

#include <QLatin1String>

#include <algorithm>
#include <iterator>

namespace palvuro {

namespace {

// Reserved words of SQL-92, of Jet's SQL dialect and of SQLite. A category is created with a
// bare name, so none of these may become one, whichever engine reads the file.
// clang-format off
const char* const kReservedWords[] = {
    "ABORT", "ABSOLUTE", "ACTION", "ADD", "AFTER", "ALL", "ALLOCATE", "ALTER", "ALWAYS", "ANALYZE",
    "AND", "ANY", "ARE", "AS", "ASC", "ASSERTION", "AT", "ATTACH", "AUTHORIZATION", "AUTOINCREMENT",
    "AVG", "BEFORE", "BEGIN", "BETWEEN", "BINARY", "BIT", "BIT_LENGTH", "BOOLEAN", "BOTH", "BY", "BYTE",
    "CASCADE", "CASCADED", "CASE", "CAST", "CATALOG", "CHAR", "CHARACTER", "CHARACTER_LENGTH",
    "CHAR_LENGTH", "CHECK", "CLOSE", "COALESCE", "COLLATE", "COLLATION", "COLUMN", "COMMIT", "CONFLICT",
    "CONNECT", "CONNECTION", "CONSTRAINT", "CONSTRAINTS", "CONTINUE", "CONVERT", "CORRESPONDING",
    "COUNT", "COUNTER", "CREATE", "CROSS", "CURRENCY", "CURRENT", "CURRENT_DATE", "CURRENT_TIME",
    "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR", "DATABASE", "DATE", "DATETIME", "DAY", "DEALLOCATE",
    "DEC", "DECIMAL", "DECLARE", "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC", "DESCRIBE",
    "DESCRIPTOR", "DETACH", "DIAGNOSTICS", "DISALLOW", "DISCONNECT", "DISTINCT", "DISTINCTROW", "DO",
    "DOMAIN", "DOUBLE", "DROP", "EACH", "ELSE", "END", "ESCAPE", "EXCEPT", "EXCEPTION", "EXCLUDE",
    "EXCLUSIVE", "EXEC", "EXECUTE", "EXISTS", "EXPLAIN", "EXTERNAL", "EXTRACT", "FAIL", "FALSE",
    "FETCH", "FILTER", "FIRST", "FLOAT", "FLOAT4", "FLOAT8", "FOLLOWING", "FOR", "FOREIGN", "FOUND",
    "FROM", "FULL", "FUNCTION", "GENERAL", "GET", "GLOB", "GLOBAL", "GO", "GOTO", "GRANT", "GROUP",
    "GROUPS", "GUID", "HAVING", "HOUR", "IDENTITY", "IEEEDOUBLE", "IEEESINGLE", "IF", "IGNORE",
    "IMMEDIATE", "IN", "INDEX", "INDEXED", "INDICATOR", "INITIALLY", "INNER", "INPUT", "INSENSITIVE",
    "INSERT", "INSTEAD", "INT", "INTEGER", "INTEGER1", "INTEGER2", "INTEGER4", "INTERSECT", "INTERVAL",
    "INTO", "IS", "ISNULL", "ISOLATION", "JOIN", "KEY", "LANGUAGE", "LAST", "LEADING", "LEFT", "LEVEL",
    "LIKE", "LIMIT", "LOCAL", "LOGICAL", "LOGICAL1", "LONG", "LONGBINARY", "LONGTEXT", "LOWER", "MATCH",
    "MATERIALIZED", "MAX", "MEMO", "MIN", "MINUTE", "MODULE", "MONEY", "MONTH", "NAMES", "NATIONAL",
    "NATURAL", "NCHAR", "NEXT", "NO", "NOT", "NOTHING", "NOTNULL", "NULL", "NULLIF", "NULLS", "NUMBER",
    "NUMERIC", "OCTET_LENGTH", "OF", "OFFSET", "OLEOBJECT", "ON", "ONLY", "OPEN", "OPTION", "OR",
    "ORDER", "OTHERS", "OUTER", "OUTPUT", "OVER", "OVERLAPS", "OWNERACCESS", "PAD", "PARAMETERS",
    "PARTIAL", "PARTITION", "PERCENT", "PIVOT", "PLAN", "POSITION", "PRAGMA", "PRECEDING", "PRECISION",
    "PREPARE", "PRESERVE", "PRIMARY", "PRIOR", "PRIVILEGES", "PROCEDURE", "PUBLIC", "QUERY", "RAISE",
    "RANGE", "READ", "REAL", "RECURSIVE", "REFERENCES", "REGEXP", "REINDEX", "RELATIVE", "RELEASE",
    "RENAME", "REPLACE", "RESTRICT", "RETURNING", "REVOKE", "RIGHT", "ROLLBACK", "ROW", "ROWS",
    "SAVEPOINT", "SCHEMA", "SCROLL", "SECOND", "SECTION", "SELECT", "SESSION", "SESSION_USER", "SET",
    "SHORT", "SINGLE", "SIZE", "SMALLINT", "SOME", "SPACE", "SQL", "SQLCODE", "SQLERROR", "SQLSTATE",
    "STRING", "SUBSTRING", "SUM", "SYSTEM_USER", "TABLE", "TEMP", "TEMPORARY", "TEXT", "THEN", "TIES",
    "TIME", "TIMESTAMP", "TIMEZONE_HOUR", "TIMEZONE_MINUTE", "TO", "TOP", "TRAILING", "TRANSACTION",
    "TRANSFORM", "TRANSLATE", "TRANSLATION", "TRIGGER", "TRIM", "TRUE", "UNBOUNDED", "UNION", "UNIQUE",
    "UNKNOWN", "UPDATE", "UPPER", "USAGE", "USER", "USING", "VACUUM", "VALUE", "VALUES", "VARBINARY",
    "VARCHAR", "VARYING", "VIEW", "VIRTUAL", "WHEN", "WHENEVER", "WHERE", "WINDOW", "WITH", "WITHOUT",
    "WORK", "WRITE", "YEAR", "YESNO", "ZONE",
};
// clang-format on

constexpr int kMaxNameLength = 64;

QChar foldedChar(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 'a' && u <= 'z')
        return QChar(char16_t(u - 0x20));
    // Latin-1 small letters (not the division sign, not y with diaeresis, whose capital lies
    // outside Latin-1, and not sharp s, which has no single capital).
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7)
        return QChar(char16_t(u - 0x20));
    return c;
}

bool startsWithFolded(const QString& name, QLatin1String prefix) {
    return name.startsWith(prefix, Qt::CaseInsensitive);
}

} // namespace

QString TableName::folded(const QString& name) {
    QString out = name;
    for (QChar& c : out)
        c = foldedChar(c);
    return out;
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
    return allWordChars && !isReservedWord(folded(name).toUpper());
}

QString TableName::quoted(const QString& storedName) {
    QString inner = storedName;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

} // namespace palvuro
