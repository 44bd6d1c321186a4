#include "data/UsersList.h"

#include "platform/LetterCase.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace palvuro {

namespace {

constexpr char16_t kQuote = '"';
constexpr char16_t kComma = ',';
constexpr char16_t kSpace = ' ';
constexpr char16_t kCr = '\r';
constexpr char16_t kLf = '\n';

bool isLineEnd(char16_t c) {
    return c == kCr || c == kLf;
}

// Reads the fields of a whole file's text in one pass. The writer only ever produces quoted
// records ended by CR LF; for files written by hand:
// - spaces before a field are skipped, and spaces after an unquoted field are cut;
// - a line ends at CR LF, at a CR alone or at an LF alone;
// - after a closing quote, the rest up to the next comma or line end is skipped;
// - a quote that never closes takes the rest of the file;
// - NUL and every other byte are ordinary characters of a name.
class FieldReader {
public:
    explicit FieldReader(const QString& text)
        : text_(text), data_(reinterpret_cast<const char16_t*>(text.utf16())), size_(text.size()) {}

    QStringList readAll() {
        QStringList names;
        while (pos_ < size_)
            names.append(readField());
        return names;
    }

private:
    QString readField() {
        while (pos_ < size_ && data_[pos_] == kSpace)
            ++pos_;
        if (pos_ < size_ && data_[pos_] == kQuote)
            return readQuoted();
        return readUnquoted();
    }

    QString readQuoted() {
        const qsizetype start = ++pos_;
        while (pos_ < size_ && data_[pos_] != kQuote)
            ++pos_;
        const QString name = text_.mid(start, pos_ - start);
        if (pos_ < size_)
            ++pos_; // the closing quote
        while (pos_ < size_ && data_[pos_] != kComma && !isLineEnd(data_[pos_]))
            ++pos_;
        skipSeparator();
        return name;
    }

    QString readUnquoted() {
        const qsizetype start = pos_;
        while (pos_ < size_ && data_[pos_] != kComma && !isLineEnd(data_[pos_]))
            ++pos_;
        qsizetype end = pos_;
        while (end > start && data_[end - 1] == kSpace)
            --end;
        skipSeparator();
        return text_.mid(start, end - start);
    }

    void skipSeparator() {
        if (pos_ >= size_)
            return;
        if (data_[pos_] == kCr && pos_ + 1 < size_ && data_[pos_ + 1] == kLf)
            ++pos_;
        ++pos_;
    }

    const QString& text_;
    const char16_t* data_;
    qsizetype size_;
    qsizetype pos_ = 0;
};

// A name that the record format cannot carry unchanged: it has no escape for a double quote,
// and the file holds one Windows-1252 byte per character.
bool isWritable(const QString& name) {
    return !name.contains(QChar(kQuote)) && Windows1252::decode(Windows1252::encode(name)) == name;
}

} // namespace

UsersList::UsersList(const QString& folder) : folder_(folder) {}

QString UsersList::fileName() {
    return QStringLiteral("Users List.txt");
}

QString UsersList::deletedMarker() {
    return QStringLiteral("*****DELETED*****");
}

QString UsersList::filePath() const {
    return folder_ + QLatin1Char('/') + fileName();
}

QStringList UsersList::parse(const QByteArray& bytes) {
    return FieldReader(Windows1252::decode(bytes)).readAll();
}

UsersList::Membership UsersList::isAuthorizedUser(const QString& upperNick) const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return Membership::FileUnreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Membership::FileUnreadable;
    const QStringList names = parse(bytes);
    for (const QString& name : names) {
        if (LetterCase::upper(name) == upperNick)
            return Membership::Authorized;
    }
    return Membership::NotListed;
}

QStringList UsersList::load() const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        // Appending creates a missing file and leaves one that exists but cannot be read alone.
        QFile create(filePath());
        create.open(QIODevice::Append);
        return {};
    }
    return parse(file.readAll());
}

bool UsersList::save(const QStringList& entries, QString* error) const {
    QByteArray bytes;
    for (const QString& entry : entries) {
        if (entry == deletedMarker())
            continue;
        if (!isWritable(entry)) {
            if (error)
                *error =
                    QStringLiteral("The name %1 cannot be stored in %2: the file has no room for a double "
                                   "quote or a character outside the Windows-1252 code page.")
                        .arg(entry, fileName());
            return false;
        }
        bytes += '"' + Windows1252::encode(entry) + "\"\r\n";
    }
    // Written beside the old file and renamed over it, so that a failed write keeps the old list.
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("The users list %1 could not be written: %2")
                         .arg(QDir::toNativeSeparators(filePath()), file.errorString());
        return false;
    }
    return true;
}

} // namespace palvuro
