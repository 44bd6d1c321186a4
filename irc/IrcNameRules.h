#pragma once

#include <QByteArray>
#include <QString>

namespace palvuro {

// How the server compares and tells apart nicks and channels, as its ISUPPORT lines announce:
// CASEMAPPING, CHANTYPES, PREFIX and CHANMODES. Until it says, RFC 1459's rules hold.
class IrcNameRules {
public:
    enum class CaseMapping {
        Ascii,         // only A-Z are the upper case of a-z
        Rfc1459,       // []\~ are also the upper case of {}|^
        Rfc1459Strict, // []\ of {}|, but ~ and ^ differ
        Precis,        // rfc8265 and rfc7613: Unicode composed (NFC), then ASCII folded
    };

    // One ISUPPORT token ("CASEMAPPING=ascii", "-PREFIX", ...); others are left alone.
    void read(const QByteArray& token);

    CaseMapping caseMapping() const { return caseMapping_; }
    QByteArray fold(const QByteArray& name) const;
    bool same(const QByteArray& a, const QByteArray& b) const { return fold(a) == fold(b); }
    bool same(const QString& a, const QByteArray& b) const { return same(a.toUtf8(), b); }
    bool isChannel(const QByteArray& target) const;
    // A NAMES entry without its membership prefixes (@, +, and whatever else PREFIX names).
    QByteArray withoutModes(const QByteArray& entry) const;
    // Whether a channel MODE line gives channel mode MODE a parameter when set (ADDING) or unset.
    bool takesParameter(char mode, bool adding) const;
    // Whether the ban mask MASK ("nick!user@host" with * and ?) covers WHO ("nick!user@host").
    bool matches(const QByteArray& mask, const QByteArray& who) const;

private:
    CaseMapping caseMapping_ = CaseMapping::Rfc1459;
    QByteArray channelTypes_ = QByteArrayLiteral("#&");
    // Every prefix any server uses until ours names its own.
    QByteArray prefixes_ = QByteArrayLiteral("~&@%+!");
    QByteArray prefixModes_ = QByteArrayLiteral("qaohv");
    // CHANMODES: list modes, modes with a parameter always, and with one only when set.
    QByteArray listModes_ = QByteArrayLiteral("beIq");
    QByteArray alwaysParameterModes_ = QByteArrayLiteral("k");
    QByteArray setParameterModes_ = QByteArrayLiteral("lfj");
};

} // namespace palvuro
