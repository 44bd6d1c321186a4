#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace palvuro {

// "Users List.txt" in a folder: the chatters who may start and stop games. Windows-1252,
// one record per line: a double quote, the name, a double quote, CR LF.
class UsersList {
public:
    enum class Membership { Authorized, NotListed, FileUnreadable };

    explicit UsersList(const QString& folder);

    static QString fileName();      // "Users List.txt"
    static QString deletedMarker(); // "*****DELETED*****"
    QString filePath() const;

    // Reads the file afresh. The nick is compared, as given, with each name upper-cased.
    Membership isAuthorizedUser(const QString& upperNick) const;
    // Every name in file order; a missing file is created empty.
    QStringList load() const;
    // Replaces the file by the entries, leaving out the deletion markers. The old file stays
    // intact when the new one cannot be written (false, with *error set).
    bool save(const QStringList& entries, QString* error = nullptr) const;

    // The reading rules applied to a whole file's bytes.
    static QStringList parse(const QByteArray& bytes);

private:
    QString folder_;
};

} // namespace palvuro
