#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace palvuro {

// Question files as people save them: read whole, in UTF-8 (with or without a byte order mark)
// or, when the bytes are no UTF-8, in the Windows code page spreadsheets save in.
class TextFile {
public:
    // Far more than any question bank; a larger file is refused before it fills the memory.
    static constexpr qint64 MaxBytes = qint64(256) * 1024 * 1024;

    static std::optional<QByteArray> read(const QString& path, QString* error);
    static QString decoded(const QByteArray& bytes);
    // The bytes less a leading UTF-8 byte order mark.
    static QByteArray withoutBom(const QByteArray& bytes);
};

} // namespace palvuro
