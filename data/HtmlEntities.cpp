#include "data/HtmlEntities.h"

#include <QHash>

#include <iterator>

namespace palvuro {

namespace {

// The names of U+00A0 to U+00FF, in code order.
// clang-format off
const char* const kLatin1Names[] = {
    "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf",
    "laquo", "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para",
    "middot", "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc", "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc",
    "Euml", "Igrave", "Iacute", "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc",
    "Otilde", "Ouml", "times", "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN",
    "szlig", "agrave", "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil", "egrave",
    "eacute", "ecirc", "euml", "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve",
    "oacute", "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml",
    "yacute", "thorn", "yuml",
};

// The Greek letters, capital and small, in code order from U+0391 and U+03B1 (U+03A2 is unused).
const char* const kGreekNames[] = {
    "Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta", "Eta", "Theta", "Iota", "Kappa", "Lambda",
    "Mu", "Nu", "Xi", "Omicron", "Pi", "Rho", nullptr, "Sigma", "Tau", "Upsilon", "Phi", "Chi", "Psi",
    "Omega",
};

struct NamedChar {
    const char* name;
    char32_t code;
};

const NamedChar kOtherNames[] = {
    {"quot", 0x22}, {"amp", 0x26}, {"apos", 0x27}, {"lt", 0x3C}, {"gt", 0x3E},
    {"OElig", 0x152}, {"oelig", 0x153}, {"Scaron", 0x160}, {"scaron", 0x161}, {"Yuml", 0x178},
    {"fnof", 0x192}, {"circ", 0x2C6}, {"tilde", 0x2DC}, {"sigmaf", 0x3C2}, {"ensp", 0x2002},
    {"emsp", 0x2003}, {"thinsp", 0x2009}, {"zwnj", 0x200C}, {"zwj", 0x200D}, {"ndash", 0x2013},
    {"mdash", 0x2014}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"sbquo", 0x201A}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"bdquo", 0x201E}, {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022},
    {"hellip", 0x2026}, {"permil", 0x2030}, {"prime", 0x2032}, {"Prime", 0x2033}, {"lsaquo", 0x2039},
    {"rsaquo", 0x203A}, {"oline", 0x203E}, {"frasl", 0x2044}, {"euro", 0x20AC}, {"trade", 0x2122},
    {"larr", 0x2190}, {"uarr", 0x2191}, {"rarr", 0x2192}, {"darr", 0x2193}, {"harr", 0x2194},
    {"minus", 0x2212}, {"infin", 0x221E}, {"ne", 0x2260}, {"le", 0x2264}, {"ge", 0x2265},
    {"spades", 0x2660}, {"clubs", 0x2663}, {"hearts", 0x2665}, {"diams", 0x2666},
};
// clang-format on

// Longest name above, so that a stray "&" never makes the scan look far ahead.
constexpr int kMaxNameLength = 8;
constexpr char32_t kMaxCode = 0x10FFFF;

QHash<QString, char32_t> buildNameTable() {
    QHash<QString, char32_t> table;
    char32_t code = 0xA0;
    for (const char* name : kLatin1Names)
        table.insert(QLatin1String(name), code++);
    for (int i = 0; i < int(std::size(kGreekNames)); ++i) {
        if (kGreekNames[i] == nullptr)
            continue;
        const QString capital = QLatin1String(kGreekNames[i]);
        table.insert(capital, char32_t(0x391 + i));
        table.insert(capital.toLower(), char32_t(0x3B1 + i));
    }
    for (const NamedChar& named : kOtherNames)
        table.insert(QLatin1String(named.name), named.code);
    return table;
}

const QHash<QString, char32_t>& nameTable() {
    static const QHash<QString, char32_t> table = buildNameTable();
    return table;
}

bool isUsableCode(qulonglong code) {
    return code > 0 && code <= kMaxCode && (code < 0xD800 || code > 0xDFFF);
}

// The character `reference` (the text between "&" and ";") stands for, or 0.
char32_t referencedChar(QStringView reference) {
    if (reference.startsWith(u'#')) {
        QStringView digits = reference.mid(1);
        int base = 10;
        if (digits.startsWith(u'x') || digits.startsWith(u'X')) {
            digits = digits.mid(1);
            base = 16;
        }
        // toULongLong takes a sign and blanks; a reference holds digits only.
        for (QChar c : digits) {
            if (!c.isDigit() && !(base == 16 && QStringLiteral("abcdefABCDEF").contains(c)))
                return 0;
        }
        bool ok = false;
        const qulonglong code = digits.toULongLong(&ok, base);
        return ok && isUsableCode(code) ? char32_t(code) : 0;
    }
    return nameTable().value(reference.toString(), 0);
}

} // namespace

QString HtmlEntities::decoded(const QString& text) {
    qsizetype amp = text.indexOf(u'&');
    if (amp < 0)
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;
    while (amp >= 0) {
        // Numeric references may carry leading zeros ("&#0000039;"): allow a longer look.
        const qsizetype semicolon = text.indexOf(u';', amp + 1);
        const qsizetype length = semicolon - amp - 1;
        const char32_t code = semicolon > amp && length <= kMaxNameLength + 8 && length > 0
                                  ? referencedChar(QStringView(text).mid(amp + 1, length))
                                  : 0;
        if (code != 0) {
            out += QStringView(text).mid(copied, amp - copied);
            out += QString::fromUcs4(&code, 1);
            copied = semicolon + 1;
        }
        amp = text.indexOf(u'&', code != 0 ? copied : amp + 1);
    }
    out += QStringView(text).mid(copied);
    return out;
}

} // namespace palvuro
