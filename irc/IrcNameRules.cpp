#include "irc/IrcNameRules.h"

#include "irc/IrcLog.h"

namespace palvuro {

void IrcNameRules::read(const QByteArray& token) {
    const qsizetype eq = token.indexOf('=');
    const QByteArray key = eq < 0 ? token : token.left(eq);
    const QByteArray value = eq < 0 ? QByteArray() : token.mid(eq + 1);
    if (key == "CASEMAPPING" || key == "-CASEMAPPING") {
        if (value == "ascii")
            caseMapping_ = CaseMapping::Ascii;
        else if (value == "rfc1459-strict")
            caseMapping_ = CaseMapping::Rfc1459Strict;
        else if (value == "rfc8265" || value == "rfc7613")
            caseMapping_ = CaseMapping::Precis;
        else
            caseMapping_ = CaseMapping::Rfc1459;
        if (!value.isEmpty() && value != "rfc1459" && caseMapping_ == CaseMapping::Rfc1459)
            qCWarning(lcIrc) << "unknown CASEMAPPING" << value.left(32) << "- comparing by rfc1459";
    } else if (key == "CHANTYPES" || key == "-CHANTYPES") {
        // "CHANTYPES=" says the server has no channel types; no channel of ours could exist.
        channelTypes_ = eq < 0 ? QByteArrayLiteral("#&") : value;
    } else if (key == "PREFIX" || key == "-PREFIX") {
        // "(ov)@+": the symbols follow the modes.
        const qsizetype close = value.indexOf(')');
        const bool given = value.startsWith('(') && close > 0;
        prefixes_ = given ? value.mid(close + 1) : QByteArrayLiteral("~&@%+!");
        prefixModes_ = given ? value.mid(1, close - 1) : QByteArrayLiteral("qaohv");
    } else if ((key == "CHANMODES" || key == "-CHANMODES") && value.count(',') >= 3) {
        const QList<QByteArray> kinds = value.split(',');
        listModes_ = kinds.at(0);
        alwaysParameterModes_ = kinds.at(1);
        setParameterModes_ = kinds.at(2);
    }
}

bool IrcNameRules::takesParameter(char mode, bool adding) const {
    return prefixModes_.contains(mode) || listModes_.contains(mode) || alwaysParameterModes_.contains(mode) ||
           (adding && setParameterModes_.contains(mode));
}

bool IrcNameRules::matches(const QByteArray& mask, const QByteArray& who) const {
    const QByteArray pattern = fold(mask);
    const QByteArray text = fold(who);
    // Glob matching that backtracks only to the last '*': linear in practice, whatever a
    // hostile mask holds.
    qsizetype p = 0, t = 0, star = -1, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern.at(p) == '?' || pattern.at(p) == text.at(t))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern.at(p) == '*') {
            star = p++;
            resume = t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == '*')
        ++p;
    return p == pattern.size();
}

QByteArray IrcNameRules::fold(const QByteArray& name) const {
    QByteArray out = name;
    if (caseMapping_ == CaseMapping::Precis) {
        // Bytes that are no UTF-8 stay as they are: two different ones must not become one.
        const QString decoded = QString::fromUtf8(name);
        if (decoded.toUtf8() == name)
            out = decoded.normalized(QString::NormalizationForm_C).toUtf8();
    }
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (caseMapping_ == CaseMapping::Rfc1459 || caseMapping_ == CaseMapping::Rfc1459Strict) {
            if (c == '[')
                c = '{';
            else if (c == ']')
                c = '}';
            else if (c == '\\')
                c = '|';
            else if (c == '~' && caseMapping_ == CaseMapping::Rfc1459)
                c = '^';
        }
    }
    return out;
}

bool IrcNameRules::isChannel(const QByteArray& target) const {
    return !target.isEmpty() && channelTypes_.contains(target.at(0));
}

QByteArray IrcNameRules::withoutModes(const QByteArray& entry) const {
    qsizetype pos = 0;
    while (pos < entry.size() && prefixes_.contains(entry.at(pos)))
        ++pos;
    return entry.mid(pos);
}

} // namespace palvuro
