#include "data/PairRules.h"

#include "data/HtmlEntities.h"
#include "data/Spaces.h"
#include "data/TableName.h"
#include "platform/LetterCase.h"

namespace palvuro {

namespace {

constexpr char16_t kNoBreakSpace = 0xA0;
constexpr char16_t kSoftHyphen = 0xAD;

// Chatters type neither a no-break space nor a soft hyphen: an answer holding one could never
// be matched, and a question would show it as junk.
QString withPlainBlanks(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            continue; // one line break, one blank
        if (u == u'\t' || u == u'\r' || u == u'\n' || u == kNoBreakSpace)
            out += QLatin1Char(' ');
        else if (u != kSoftHyphen)
            out += text.at(i);
    }
    return out;
}

bool needsPlainBlanks(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\t' || u == u'\r' || u == u'\n' || u == kNoBreakSpace || u == kSoftHyphen)
            return true;
    }
    return false;
}

bool hasControlCharacter(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

QString valueRefusal(QLatin1String what, const QString& value) {
    if (value.isEmpty())
        return QStringLiteral("empty %1").arg(what);
    if (value.size() > PairRules::MaxTextLength)
        return QStringLiteral("%1 is %2 characters long (at most %3)")
            .arg(what)
            .arg(value.size())
            .arg(PairRules::MaxTextLength);
    if (hasControlCharacter(value))
        return QStringLiteral("%1 holds a control character").arg(what);
    return {};
}

bool isNameChar(QChar c) {
    return c.isLetter() || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

} // namespace

QString PairRules::cleaned(const QString& raw) {
    QString text = HtmlEntities::decoded(raw);
    if (needsPlainBlanks(text))
        text = withPlainBlanks(text);
    // Trimmed before upper-casing, which never makes or removes a blank: the same result as the
    // editor's order for less copying.
    QStringView view(text);
    while (view.startsWith(u' '))
        view = view.mid(1);
    while (view.endsWith(u' '))
        view.chop(1);
    return LetterCase::upper(view.toString());
}

bool PairRules::isCleaned(const QString& value) {
    if (value.startsWith(u' ') || value.endsWith(u' '))
        return false;
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || u == u'&')
            return cleaned(value) == value;
        if (u < 0x20 || (u >= u'a' && u <= u'z'))
            return false;
    }
    return true;
}

QString PairRules::refusal(const QString& question, const QString& answer) {
    QString why = valueRefusal(QLatin1String("question"), question);
    return why.isEmpty() ? valueRefusal(QLatin1String("answer"), answer) : why;
}

QString PairRules::categoryName(const QString& written) {
    const QString name = Spaces::storedForm(written);
    return TableName::isReservedWord(name) ? name + QLatin1Char('_') : name;
}

QString PairRules::categoryRefusal(const QString& storedName) {
    if (storedName.isEmpty())
        return QStringLiteral("empty category");
    if (TableName::isValidBareName(storedName) && !TableName::isCategory(storedName))
        return QStringLiteral("\"%1\" names one of the database's own tables, not a category")
            .arg(storedName);
    if (TableName::isReservedWord(TableName::folded(storedName)))
        return QStringLiteral("\"%1\" is a reserved SQL word and cannot name a category").arg(storedName);
    if (!TableName::isValidBareName(storedName))
        return QStringLiteral("\"%1\" is not a valid category name (letters, digits and underscores, "
                              "not starting with a digit, at most %2 characters, not a reserved word)")
            .arg(storedName)
            .arg(MaxCategoryLength);
    return {};
}

QString PairRules::categoryFromLabel(const QString& label) {
    const QString text = LetterCase::upper(HtmlEntities::decoded(label));
    QString name;
    for (QChar c : text) {
        if (isNameChar(c))
            name += c;
        else if (!name.isEmpty() && !name.endsWith(QLatin1Char('_')))
            name += QLatin1Char('_');
    }
    while (name.endsWith(QLatin1Char('_')))
        name.chop(1);
    if (name.isEmpty())
        return name;
    // A digit may not lead, and the database's own names are not free: an underscore in front
    // keeps the label readable and the name valid.
    if (name.front().isDigit() || !TableName::isCategory(name) || TableName::isBuiltIn(name))
        name.prepend(QLatin1Char('_'));
    if (name.size() > MaxCategoryLength)
        name.truncate(MaxCategoryLength);
    while (name.endsWith(QLatin1Char('_')))
        name.chop(1);
    return categoryName(name);
}

bool PairRules::refersToOptions(const QString& storedQuestion) {
    return storedQuestion.contains(QLatin1String("OF THESE")) ||
           storedQuestion.contains(QLatin1String("OF THE FOLLOWING"));
}

bool PairRules::isTrueFalseAnswer(const QString& storedAnswer) {
    return storedAnswer == QLatin1String("TRUE") || storedAnswer == QLatin1String("FALSE");
}

} // namespace palvuro
