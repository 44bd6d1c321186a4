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
        prefixes_ = value.startsWith('(') && close > 0 ? value.mid(close + 1) : QByteArrayLiteral("~&@%+!");
    }
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
